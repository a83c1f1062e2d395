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

// A line read as a record: camera type, ISO/binning, then the filter: the longest of the panel's filter names (in
// English or Italian) that the line's fields go on with, else the third field alone. The fields after the filter
// are read as the window's lookup reads them: a missing field repeats the last one read, and an exposure typed with
// blanks reads back whole when the line ends in a light level (no note then). nullopt for a line with fewer than
// three fields.
std::optional<FlatRecord> parseFlatRecord(const QString &line);

// The line of the table that serves a filter, read as a record.
struct FlatRecordMatch
{
    bool found = false;
    int index = -1;    // the line's place in the table, counted from 0
    FlatRecord record; // its filter as the line spells it
};

// The one rule by which every program but the window finds a filter's line. The filter is tried by its own name,
// then by the panel's English name for it, then by the panel's Italian name, each in the table's order; a table
// saved in either language serves alike. A line is the key's (camera type, ISO/binning and that name joined by
// single spaces) when it is the key or goes on from it after a blank, and its exposure and level are read after the
// key's fields as the window's lookup reads them. Where several known filter names could begin a line's filter, the
// line belongs to the longest: "CCD 1x1 OIII 3nm 5 150" is the line of "OIII 3nm", not of "OIII". The known names
// are the panel's list in both languages, the filter's own names and `wheelNames` (a wheel's other filters).
FlatRecordMatch findFlatRecord(const std::vector<QString> &table, const QString &cameraType, const QString &isoBin,
                               const QString &filter, const QStringList &wheelNames = {});

// Puts a record into the table by the rule of findFlatRecord: the line found for the record's filter (a wheel's
// name) is replaced, keeping the filter as that line spells it; without one, the line is appended with the filter
// named as tableFilterName names it. Every other line is kept as it was, among them a line whose filter only
// begins like the record's. Returns the record as it went into the table.
FlatRecord putFlatRecord(std::vector<QString> &lines, const FlatRecord &record, const QStringList &wheelNames = {});

// The filters tab's filter list, as its English texts ("Luminance", ..., "Light Pollution", "Custom").
const QStringList &panelFilterNames();

// The same list as the Italian panel shows it (ui/velmoralang_it.ts), in the same order.
const QStringList &italianPanelFilterNames();

// The Italian panel's text for one of the panel's English filter names; empty for any other name.
QString italianFilterName(const QString &panelName);

// The panel's English name for a filter name, compared ignoring case, blanks, "-" and "_" with the panel's names in
// either language, or as a usual short form (L, Lum, R, G, B, Ha, H_Alpha, O3, S2, LP, LPR); empty when it has none.
QString panelFilterName(const QString &name);

// The filter text of the table's line for a wheel's filter: the line findFlatRecord finds, else the name a new line
// gets (the panel's English name, or the wheel's own name when the panel has none); empty for an empty name.
QString tableFilterName(const QString &wheelName, const std::vector<QString> &table, const QString &cameraType,
                        const QString &isoBin, const QStringList &wheelNames = {});

namespace tablefile {

enum class SaveProblem { None, ReadOnlyFolder, Failed };

// Whether the folder that receives the file (a symbolic link's target's) takes no new file.
bool folderIsReadOnly(const QString &path);

// Saves the lines as the panel does: the table's encoding rules, and a temporary file that replaces the old one only
// once it is complete (in place when the folder takes no new file). A missing file is created. On failure the old
// file is as it was, `problem` says why and `error` gives the system's text.
bool save(const QString &path, const std::vector<QString> &lines, SaveProblem &problem, QString &error);

} // namespace tablefile
