#include "flatrecord.h"

#include "configfile.h"
#include "filterkind.h"

#include <QDebug>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace {

const QChar space = QLatin1Char(' ');

// A light level as the editor writes it: a whole number from 0 to 255, in decimal digits only.
bool isLightLevel(const QString &field)
{
    if (field.isEmpty() || field.size() > 3)
        return false;
    for (const QChar c : field)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return field.toInt() <= 255;
}

int fieldsBeforeTrailingEmpty(const QStringList &fields)
{
    int count = fields.size();
    while (count > 0 && fields.at(count - 1).isEmpty())
        --count;
    return count;
}

QString keyOf(const QString &cameraType, const QString &isoBin, const QString &filter)
{
    return cameraType + space + isoBin + space + filter;
}

// Whether the line is the key, or goes on from it after a blank.
bool beginsWithKey(const QString &line, const QString &key)
{
    return line.startsWith(key) && (line.size() == key.size() || line.at(key.size()) == space);
}

// The longest of the names whose key begins the line; empty when none does.
QString longestFilterOf(const QString &line, const QString &cameraType, const QString &isoBin,
                        const QStringList &names)
{
    QString longest;
    for (const QString &name : names)
        if (name.size() > longest.size() && beginsWithKey(line, keyOf(cameraType, isoBin, name)))
            longest = name;
    return longest;
}

// Exposure, level and note as the window's lookup reads them from the fields after the key's `keyFields` fields: a
// missing field repeats the last one read, and blanks in the exposure are kept when the line ends in a light level.
void readAfterKey(const QStringList &fields, int keyFields, FlatRecord &record)
{
    const QStringList rest = fields.mid(keyFields);
    const int significant = fieldsBeforeTrailingEmpty(rest);
    if (significant > 2 && isLightLevel(rest.at(significant - 1))) {
        record.exposure = rest.mid(0, significant - 1).join(space);
        record.level = rest.at(significant - 1);
        return;
    }
    record.exposure = rest.isEmpty() ? fields.at(keyFields - 1) : rest.at(0);
    record.level = rest.size() < 2 ? record.exposure : rest.at(1);
    record.note = rest.mid(2).join(space);
}

// The line read as the record of the key made of these three texts, which the line begins with.
FlatRecord recordOf(const QString &line, const QString &cameraType, const QString &isoBin, const QString &filter)
{
    FlatRecord record;
    record.cameraType = cameraType;
    record.isoBin = isoBin;
    record.filter = filter;
    readAfterKey(line.split(space), record.key().count(space) + 1, record);
    return record;
}

// The names a filter is looked up by, in the order they are tried: its own, the panel's English and Italian names.
QStringList spellingsOf(const QString &filter)
{
    QStringList spellings;
    const QString english = panelFilterName(filter);
    for (const QString &name : {filter, english, italianFilterName(english)})
        if (!name.isEmpty() && !spellings.contains(name))
            spellings.append(name);
    return spellings;
}

// The first line that belongs to this spelling of a filter; -1 when none does.
int firstLineOf(const std::vector<QString> &table, const QString &cameraType, const QString &isoBin,
                const QString &spelling, const QStringList &knownNames)
{
    const QString key = keyOf(cameraType, isoBin, spelling);
    for (size_t i = 0; i < table.size(); ++i)
        if (beginsWithKey(table[i], key) && longestFilterOf(table[i], cameraType, isoBin, knownNames) == spelling)
            return int(i);
    return -1;
}

// The filter a new line for a wheel's filter is written under.
QString newLineFilterName(const QString &wheelName)
{
    const QString english = panelFilterName(wheelName);
    return english.isEmpty() ? wheelName : english;
}

} // namespace

QString FlatRecord::key() const
{
    return cameraType + space + isoBin + space + filter;
}

QString FlatRecord::line() const
{
    QString text = key() + space + exposure + space + level;
    if (!note.isEmpty())
        text += space + note;
    return text;
}

int FlatRecord::lightLevel() const
{
    bool number = false;
    const int value = level.toInt(&number);
    return number ? std::clamp(value, 0, 255) : -1;
}

std::optional<FlatRecord> parseFlatRecord(const QString &line)
{
    const QStringList fields = line.split(space);
    if (fields.size() < 3)
        return std::nullopt;
    const QString &cameraType = fields.at(0);
    const QString &isoBin = fields.at(1);
    const QString panelName =
        longestFilterOf(line, cameraType, isoBin, panelFilterNames() + italianPanelFilterNames());
    return recordOf(line, cameraType, isoBin, panelName.isEmpty() ? fields.at(2) : panelName);
}

FlatRecordMatch findFlatRecord(const std::vector<QString> &table, const QString &cameraType, const QString &isoBin,
                               const QString &filter, const QStringList &wheelNames)
{
    const QStringList spellings = spellingsOf(filter);
    const QStringList knownNames = panelFilterNames() + italianPanelFilterNames() + wheelNames + spellings;
    for (const QString &spelling : spellings) {
        const int index = firstLineOf(table, cameraType, isoBin, spelling, knownNames);
        if (index >= 0)
            return {true, index, recordOf(table[size_t(index)], cameraType, isoBin, spelling)};
    }
    return {};
}

FlatRecord putFlatRecord(std::vector<QString> &lines, const FlatRecord &record, const QStringList &wheelNames)
{
    const FlatRecordMatch match = findFlatRecord(lines, record.cameraType, record.isoBin, record.filter, wheelNames);
    FlatRecord written = record;
    written.filter = match.found ? match.record.filter : newLineFilterName(record.filter);
    if (match.found)
        lines[size_t(match.index)] = written.line();
    else
        lines.push_back(written.line());
    return written;
}

const QStringList &panelFilterNames()
{
    // The texts go through the window's translation context where the window shows them.
    static const QStringList names = {
        QStringLiteral(QT_TRANSLATE_NOOP("VelmoraFlat", "Luminance")),
        QStringLiteral(QT_TRANSLATE_NOOP("VelmoraFlat", "Red")),
        QStringLiteral(QT_TRANSLATE_NOOP("VelmoraFlat", "Green")),
        QStringLiteral(QT_TRANSLATE_NOOP("VelmoraFlat", "Blue")),
        QStringLiteral(QT_TRANSLATE_NOOP("VelmoraFlat", "H-alpha")),
        QStringLiteral(QT_TRANSLATE_NOOP("VelmoraFlat", "OIII")),
        QStringLiteral(QT_TRANSLATE_NOOP("VelmoraFlat", "SII")),
        QStringLiteral(QT_TRANSLATE_NOOP("VelmoraFlat", "Light Pollution")),
        QStringLiteral(QT_TRANSLATE_NOOP("VelmoraFlat", "Custom"))};
    return names;
}

const QStringList &italianPanelFilterNames()
{
    // As ui/velmoralang_it.ts translates panelFilterNames(); the table tests hold the two together.
    static const QStringList names = {QStringLiteral("Luminanza"), QStringLiteral("Rosso"),
                                      QStringLiteral("Verde"),     QStringLiteral("Blu"),
                                      QStringLiteral("H-alfa"),    QStringLiteral("OIII"),
                                      QStringLiteral("SII"),       QStringLiteral("Inq. luminoso"),
                                      QStringLiteral("Altro")};
    return names;
}

QString italianFilterName(const QString &panelName)
{
    const int index = panelFilterNames().indexOf(panelName);
    return index < 0 ? QString() : italianPanelFilterNames().at(index);
}

QString panelFilterName(const QString &name)
{
    const QString canonical = QString::fromStdString(filterkind::classify(name.toStdString()).canonical);
    return panelFilterNames().contains(canonical) ? canonical : QString();
}

QString tableFilterName(const QString &wheelName, const std::vector<QString> &table, const QString &cameraType,
                        const QString &isoBin, const QStringList &wheelNames)
{
    const FlatRecordMatch match = findFlatRecord(table, cameraType, isoBin, wheelName, wheelNames);
    return match.found ? match.record.filter : newLineFilterName(wheelName);
}

namespace tablefile {

bool folderIsReadOnly(const QString &path)
{
    const QFileInfo file(path);
    const QFileInfo folder(QFileInfo(file.isSymLink() ? file.symLinkTarget() : file.absoluteFilePath()).absolutePath());
    return folder.isDir() && !folder.isWritable();
}

bool save(const QString &path, const std::vector<QString> &lines, SaveProblem &problem, QString &error)
{
    problem = SaveProblem::None;
    const bool readOnlyFolder = folderIsReadOnly(path);
    QSaveFile file(path);
    // A folder that takes no new file (a shared flats folder) gets a writable file written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        problem = readOnlyFolder ? SaveProblem::ReadOnlyFolder : SaveProblem::Failed;
        error = file.errorString();
        return false;
    }
    if (!configfile::writeConfiguration(file, lines)) {
        problem = SaveProblem::Failed;
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        problem = SaveProblem::Failed;
        error = file.errorString();
        return false;
    }
    return true;
}

} // namespace tablefile
