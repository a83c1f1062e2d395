// Per-filter lamp levels from a flat table, as the panel's filters tab shows them.
#pragma once

#include <QDateTime>
#include <QString>

#include <vector>

// Which filter of the table (or of the panel's filter list) a filter wheel's name means: the name itself, then
// the name ignoring case, blanks, "-" and "_", then the usual short forms (L, Lum, R, G, B, Ha, O3, S2, LP, LPR).
// Empty when nothing fits.
QString tableFilterName(const QString &wheelName, const std::vector<QString> &table, const QString &camera,
                        const QString &isoBin);

// The level the filters tab shows for camera, ISO/binning and filter, held to 0..255 as its Apply does;
// -1 when the table has no line for them.
int tableLevel(const std::vector<QString> &table, const QString &camera, const QString &isoBin, const QString &filter);

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
