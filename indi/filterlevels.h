// Per-filter lamp levels from a flat table's records, as the panel's filters tab shows them. Which filter of the
// table a wheel's name means is the table library's tableFilterName.
#pragma once

#include "flatrecord.h"

#include <QDateTime>
#include <QString>

#include <vector>

// The level of the table's first record for camera, ISO/binning and filter, held to 0..255 as the filters tab's
// Apply does; -1 when the table has no record for them or its level is not a number.
int tableLevel(const std::vector<FlatRecord> &records, const QString &camera, const QString &isoBin,
               const QString &filter);

// A .vfc file read again whenever it changes on disk.
class WatchedTable
{
public:
    // Empty path: no table. False when the file cannot be read as a table (the lines are then empty).
    bool setFile(const QString &path, QString &error);
    // True when the file changed since it was last read (and has been read again).
    bool refresh();
    const std::vector<QString> &lines() const { return tableLines; }
    const std::vector<FlatRecord> &records() const { return tableRecords; }
    bool isSet() const { return !filePath.isEmpty(); }

private:
    bool read(QString &error);

    QString filePath;
    QDateTime modified;
    qint64 size = -1;
    std::vector<QString> tableLines;
    std::vector<FlatRecord> tableRecords;
};
