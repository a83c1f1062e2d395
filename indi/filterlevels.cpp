#include "filterlevels.h"

#include "configfile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

int tableLevel(const std::vector<FlatRecord> &records, const QString &camera, const QString &isoBin,
               const QString &filter)
{
    if (filter.isEmpty())
        return -1;
    const QString key = camera + QLatin1Char(' ') + isoBin + QLatin1Char(' ') + filter;
    const auto record = std::find_if(records.begin(), records.end(),
                                     [&key](const FlatRecord &candidate) { return candidate.key() == key; });
    return record == records.end() ? -1 : record->lightLevel();
}

bool WatchedTable::setFile(const QString &path, QString &error)
{
    filePath = path;
    modified = QDateTime();
    size = -1;
    tableLines.clear();
    tableRecords.clear();
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
    tableRecords.clear();
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
    tableRecords = parseFlatRecords(tableLines);
    return true;
}
