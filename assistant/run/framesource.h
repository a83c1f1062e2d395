// Where the run's frames come from: a camera that takes each frame asked for, or a folder another program writes
// them into. Each request answers once through `done`, from the event loop, with the frame or with an error that
// names the source; each bounds its own wait. abort() drops the request under way.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

struct FrameRequest
{
    QString filter;
    int level = 0;
    double exposure = 0;
    bool dark = false;   // a flat-dark, the lamp off
    QDateTime lightSince; // when the lamp took this level: a frame written before is not of it
};

struct TakenFrame
{
    QByteArray data;   // the FITS file's bytes, or
    QString path;      // the FITS file written
    QString source;    // how errors name where it came from: camera "X", or the file
    double exposure = -1; // as taken; -1: as its header tells
    QString dateObs;   // when the exposure began (UTC, ISO)
};

class FrameSource
{
public:
    using Done = std::function<void(const QString &error, const TakenFrame &frame)>;
    using Progress = std::function<void(const QString &line)>;
    virtual ~FrameSource() = default;

    // The camera as the box's memory of filter rates knows it.
    virtual QString id() const = 0;
    // The camera's binning ("2x2"), or empty when it does not tell.
    virtual QString binning() const { return QString(); }
    // The colour filter pattern of the sensor ("RGGB"), or empty.
    virtual QString colourPattern() const { return QString(); }
    // The frames come from another program, which may have taken them through another filter.
    virtual bool mayShowOtherFilters() const { return false; }
    // Whether the run takes the flat set's frames from it (else the user is told what to take).
    virtual bool takesTheSet() const { return true; }

    virtual void take(const FrameRequest &request, const Done &done) = 0;
    // The frame just taken was not of the request: the next one, without asking again.
    virtual void takeAnother(const Done &done) = 0;
    virtual void abort() = 0;

    // Lines for the user while frames are awaited.
    void setProgress(const Progress &progress) { report = progress; }

protected:
    void progress(const QString &line) const
    {
        if (report)
            report(line);
    }

private:
    Progress report;
};
