#include "filterlevels.h"

#include "configfile.h"

#include <QFile>
#include <QFileInfo>

bool WatchedTable::setFile(const QString &path, QString &error)
{
    filePath = path;
    modified = QDateTime();
    size = -1;
    tableLines.clear();
    return path.isEmpty() || read(error);
}

bool WatchedTable::refresh()
{
    if (filePath.isEmpty())
        return false;
    const QFileInfo info(filePath);
    if (info.lastModified() == modified && info.size() == size)
        return false;
    QString error;
    read(error);
    return true;
}

bool WatchedTable::read(QString &error)
{
    const QFileInfo info(filePath);
    modified = info.lastModified();
    size = info.size();
    QFile file(filePath);
    tableLines.clear();
    if (!file.open(QIODevice::ReadOnly)) {
        error = file.errorString();
        return false;
    }
    configfile::ReadResult result = configfile::readConfiguration(file);
    if (result.status != configfile::ReadStatus::Ok) {
        error = QStringLiteral("not a flat table file");
        return false;
    }
    tableLines = std::move(result.lines);
    return true;
}
