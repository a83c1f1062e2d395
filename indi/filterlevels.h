// The flat table the driver's per-filter levels come from. Which line serves a wheel's filter is the table
// library's findFlatRecord.
#pragma once

#include "flatrecord.h"

#include <QDateTime>
#include <QString>

#include <vector>

// A .vfc file read again whenever it changes on disk.
class WatchedTable
{
public:
    // Empty path: no table. False when the file cannot be read as a table (the lines are then empty).
    bool setFile(const QString &path, QString &error);
    // True when the file changed since it was last read (and has been read again).
    bool refresh();
    const std::vector<QString> &lines() const { return tableLines; }
    bool isSet() const { return !filePath.isEmpty(); }

private:
    bool read(QString &error);

    QString filePath;
    QDateTime modified;
    qint64 size = -1;
    std::vector<QString> tableLines;
};
