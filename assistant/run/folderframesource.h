// A folder that another program writes the test frames into, as the run's frame source: the user is told what to
// take, and each new FITS file is the frame, unless it was written before the lamp took its level.
#pragma once

#include "framesource.h"

#include <memory>

class FrameFolder;

class FolderFrameSource : public FrameSource
{
public:
    // Files already in the folder are not test frames.
    explicit FolderFrameSource(const QString &path);
    ~FolderFrameSource() override;

    QString id() const override { return QStringLiteral("folder"); }
    bool mayShowOtherFilters() const override { return true; }
    bool takesTheSet() const override { return false; }
    void take(const FrameRequest &request, const Done &done) override;
    void takeAnother(const Done &done) override;
    void abort() override;

private:
    void written(const QString &path, const QDateTime &when);

    QString path;
    std::unique_ptr<FrameFolder> folder;
    FrameRequest asked;
    Done answer;
    bool watching = false;
};
