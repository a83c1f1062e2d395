// The flat table as data: one typed record per configuration line, the panel's filter names, and a table file
// saved the way the panel saves it. Parsed here once, for the panel, the INDI driver and the flat assistant.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct FlatRecord
{
    QString cameraType; // "DSLR" or "CCD"
    QString isoBin;     // "100".."6400", "1x1".."8x8", "Custom"
    QString filter;     // as the panel's lists write it ("Light Pollution"), or a wheel's own name
    QString exposure;   // free text, as typed
    QString level;      // "0".."255" as written; see lightLevel()
    QString note;       // anything after the level, kept as it was

    // camera type, ISO/binning and filter joined by single spaces: what the lookup searches for.
    QString key() const;
    // The configuration line: the five fields (and the note, when there is one) joined by single spaces.
    QString line() const;
    // The level as a number held to 0..255, as the filters tab's Apply does; -1 when it is not a number.
    int lightLevel() const;
};

// A line read as a record: camera type, ISO/binning, then the filter (a panel filter name with blanks in it, such as
// "Light Pollution", is one filter), exposure and level; what follows is the note. The fields after the filter are
// read as the window's lookup reads them: a missing field repeats the last one read, and an exposure typed with
// blanks reads back whole when the line ends in a light level (no note then). nullopt for a line with fewer than
// three fields.
std::optional<FlatRecord> parseFlatRecord(const QString &line);

// Every line that reads as a record, in the table's order.
std::vector<FlatRecord> parseFlatRecords(const std::vector<QString> &lines);

// Replaces the first line whose camera type, ISO/binning and filter are the record's with the record's line, or
// appends the line when there is none. Every other line is kept as it was.
void putFlatRecord(std::vector<QString> &lines, const FlatRecord &record);

// The filters tab's filter list, as its English texts ("Luminance", ..., "Light Pollution", "Custom").
const QStringList &panelFilterNames();

// The panel's name for a filter name, compared ignoring case, blanks, "-" and "_", or as a usual short form
// (L, Lum, R, G, B, Ha, H_Alpha, O3, S2, LP, LPR); empty when it has none.
QString panelFilterName(const QString &name);

// The filter of the table (or of the panel's filter list) that a filter wheel's name means: the name itself, then
// the name compared loosely, then the panel's name of either; empty when nothing fits.
QString tableFilterName(const QString &wheelName, const std::vector<QString> &table, const QString &cameraType,
                        const QString &isoBin);

namespace tablefile {

enum class SaveProblem { None, ReadOnlyFolder, Failed };

// Whether the folder that receives the file (a symbolic link's target's) takes no new file.
bool folderIsReadOnly(const QString &path);

// Saves the lines as the panel does: the table's encoding rules, and a temporary file that replaces the old one only
// once it is complete (in place when the folder takes no new file). A missing file is created. On failure the old
// file is as it was, `problem` says why and `error` gives the system's text.
bool save(const QString &path, const std::vector<QString> &lines, SaveProblem &problem, QString &error);

} // namespace tablefile
