#include "folderframesource.h"

#include "framefolder.h"

FolderFrameSource::FolderFrameSource(const QString &folderPath)
    : path(folderPath), folder(std::make_unique<FrameFolder>(folderPath))
{
    QObject::connect(folder.get(), &FrameFolder::frameWritten, folder.get(),
                     [this](const QString &file, const QDateTime &when) { written(file, when); });
}

FolderFrameSource::~FolderFrameSource() = default;

void FolderFrameSource::take(const FrameRequest &request, const Done &done)
{
    asked = request;
    progress(QStringLiteral("%1: take a frame at level %2, exposure %3 s, into %4")
                 .arg(request.filter)
                 .arg(request.level)
                 .arg(QString::number(request.exposure, 'g', 4), path));
    takeAnother(done);
}

void FolderFrameSource::takeAnother(const Done &done)
{
    answer = done;
    watching = true;
    folder->watch();
}

void FolderFrameSource::abort()
{
    watching = false;
    folder->stop();
}

void FolderFrameSource::written(const QString &file, const QDateTime &when)
{
    if (!watching)
        return;
    if (when < asked.lightSince) {
        progress(QStringLiteral("%1: skipped %2: written before the level changed").arg(asked.filter, file));
        return;
    }
    abort();
    TakenFrame frame;
    frame.path = file;
    frame.source = QStringLiteral("\"%1\"").arg(file);
    const Done done = answer;
    done(QString(), frame);
}
