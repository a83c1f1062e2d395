#include "framefolder.h"

namespace {
const int lookIntervalMs = 150;
} // namespace

FrameFolder::FrameFolder(const QString &path, QObject *parent) : QObject(parent), folder(path)
{
    for (const QFileInfo &file : fitsFiles())
        seen.insert(file.fileName());
    poll.setInterval(lookIntervalMs);
    connect(&poll, &QTimer::timeout, this, &FrameFolder::look);
}

void FrameFolder::watch()
{
    poll.start();
    look();
}

void FrameFolder::stop()
{
    poll.stop();
}

QFileInfoList FrameFolder::fitsFiles() const
{
    return folder.entryInfoList({QStringLiteral("*.fits"), QStringLiteral("*.fit"), QStringLiteral("*.fts")},
                                QDir::Files | QDir::Readable, QDir::Time | QDir::Reversed);
}

// A file counts once two looks in a row find it with the same size: the capture program has finished writing it.
void FrameFolder::look()
{
    for (const QFileInfo &file : fitsFiles()) {
        const QString name = file.fileName();
        if (seen.contains(name))
            continue;
        const auto before = growing.constFind(name);
        if (file.size() == 0 || before == growing.constEnd() || before.value() != file.size()) {
            growing.insert(name, file.size());
            continue;
        }
        growing.remove(name);
        seen.insert(name);
        emit frameWritten(file.filePath(), file.lastModified());
        if (!poll.isActive())
            return;
    }
}
