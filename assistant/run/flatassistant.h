// The flat assistant as a module: one object that runs the search over the filters with a camera (or a folder of
// frames), a light box and perhaps a filter wheel, and reports through one state signal and a few result signals.
// The command line and the window are both views of it; scripts drive it through this API, never through widgets.
#pragma once

#include "assistantoptions.h"
#include "search/flatsearch.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// One filter's outcome.
struct FilterResult
{
    QString filter;      // as the wheel (or --filters) names it
    QString tableFilter; // as the table line names it ("H-alpha" for a wheel's "Ha")
    bool reached = false;
    int level = 0;
    double exposure = 0;
    double figure = 0;
    int frames = 0;
    double bandingBelow = 0; // frames shorter than this band (this filter's or an earlier one's); 0: none did
    // The standard output line: "Red: level 143, exposure 2 s, median 0.497 of full scale, 3 frames",
    // "Red: level 40, exposure 3.2 s (banding below 2.9 s), median 0.49 of full scale, 4 frames" or
    // "H_Alpha: not reached: 0.21 of full scale at level 255 and 60 s".
    QString reportLine() const;
};

class FlatAssistant : public QObject
{
    Q_OBJECT

public:
    enum class State {
        Idle,
        Connecting,    // to the INDI server and the devices, or the Alpaca device
        MovingWheel,   // waiting for the filter wheel to arrive
        SettingLight,  // waiting for the light box to report the level asked for
        Exposing,      // the camera takes a frame, or the folder is watched for one
        Measuring,
        Saving,        // a frame of the flat set goes to its file
        Finished,      // every filter tried; see exitCode()
        Stopped,       // stopped by stop()
        Failed         // a connection or device error; see errorText()
    };
    Q_ENUM(State)
    // Finished, Stopped and Failed: the states a run ends in.
    static bool isFinished(State state);

    explicit FlatAssistant(QObject *parent = nullptr);
    ~FlatAssistant() override;

    void setOptions(const AssistantOptions &options);
    AssistantOptions options() const;

    // Starts a run; returns at once. The run ends in Finished, Stopped or Failed.
    void start();
    // Stops at once: the lamp goes off if the run switched it on; results found so far are kept (and saved).
    void stop();

    State state() const;
    QString errorText() const;            // names what failed, e.g. no INDI device "Model Camera" on 127.0.0.1:7624
    QList<FilterResult> results() const;  // in the order the filters were done
    // 0 when every filter was done, 1 when some were not, 2 for a usage, connection or device error.
    int exitCode() const;
    // The learned curve of the light box, for plotting (relative brightness against level).
    flatsearch::ResponseCurve curve() const;

    // Merges the results that reached the target into a .vfc file (other lines kept, the file replaced atomically).
    bool saveResults(const QString &tablePath, QString &error) const;

signals:
    // The one status signal.
    void stateChanged(FlatAssistant::State state);
    // Each test frame as it is measured.
    void frameMeasured(const QString &filter, const flatsearch::Frame &frame);
    // The learned curve changed (after a frame).
    void curveChanged();
    void filterFinished(const FilterResult &result);
    // One progress line, as the command line prints it to standard error.
    void progressLine(const QString &line);
    // The flat set (AssistantOptions::capture): frames saved of those to take, as far as the run can tell yet.
    void captureProgress(int taken, int toTake);

private:
    struct Run;
    std::unique_ptr<Run> run;
};

Q_DECLARE_METATYPE(FilterResult)
Q_DECLARE_METATYPE(flatsearch::Frame)

// What an INDI server offers, for choosing devices in the window.
struct IndiDevices
{
    QStringList cameras; // devices with CCD_EXPOSURE
    QStringList lights;  // devices with FLAT_LIGHT_CONTROL and FLAT_LIGHT_INTENSITY
    QStringList wheels;  // devices with FILTER_SLOT
    QString error;       // empty when the server answered
};

// Asks an INDI server for its devices; the answer comes through `listed` within a few seconds.
class IndiDeviceLister : public QObject
{
    Q_OBJECT
public:
    explicit IndiDeviceLister(QObject *parent = nullptr);
    ~IndiDeviceLister() override;
    void list(const QString &host, int port);
    // Filter names a wheel reports (FILTER_NAME), listed with the devices.
    QStringList wheelFilters(const QString &wheel) const;
signals:
    void listed(const IndiDevices &devices);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

Q_DECLARE_METATYPE(IndiDevices)
