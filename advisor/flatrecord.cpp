#include "flatrecord.h"

#include "configfile.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QPair>
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

// The panel's filter names that hold blanks, in English and as the window's language shows them, longest first.
QStringList filterNamesWithBlanks()
{
    QStringList names;
    for (const QString &name : panelFilterNames()) {
        const QString shown = QCoreApplication::translate("VelmoraFlat", name.toUtf8().constData());
        for (const QString &candidate : {name, shown})
            if (candidate.contains(space) && !names.contains(candidate))
                names.append(candidate);
    }
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) { return a.size() > b.size(); });
    return names;
}

// How many fields of `rest` the filter takes: a panel name with blanks that `rest` begins with, else one.
int filterFieldCount(const QStringList &rest)
{
    const QString joined = rest.join(space);
    for (const QString &name : filterNamesWithBlanks())
        if (joined == name || joined.startsWith(name + space))
            return name.count(space) + 1;
    return 1;
}

QString loose(const QString &name)
{
    QString folded;
    for (const QChar c : name)
        if (!c.isSpace() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            folded += c.toCaseFolded();
    return folded;
}

// Short forms of the usual filter names, compared loosely.
QString longForm(const QString &looseName)
{
    static const QList<QPair<QStringList, QString>> forms = {
        {{"l", "lum"}, QStringLiteral("Luminance")},
        {{"r"}, QStringLiteral("Red")},
        {{"g"}, QStringLiteral("Green")},
        {{"b"}, QStringLiteral("Blue")},
        {{"ha", "halpha", "hα"}, QStringLiteral("H-alpha")},
        {{"o3"}, QStringLiteral("OIII")},
        {{"s2"}, QStringLiteral("SII")},
        {{"lp", "lpr"}, QStringLiteral("Light Pollution")},
    };
    for (const auto &form : forms)
        if (form.first.contains(looseName))
            return form.second;
    return QString();
}

// The filter texts of the table's records for this camera type and ISO/binning.
QStringList filtersInTable(const std::vector<QString> &table, const QString &cameraType, const QString &isoBin)
{
    QStringList filters;
    for (const FlatRecord &record : parseFlatRecords(table))
        if (record.cameraType == cameraType && record.isoBin == isoBin)
            filters.append(record.filter);
    return filters;
}

bool sameConfiguration(const FlatRecord &a, const FlatRecord &b)
{
    return a.cameraType == b.cameraType && a.isoBin == b.isoBin && a.filter == b.filter;
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
    FlatRecord record;
    record.cameraType = fields.at(0);
    record.isoBin = fields.at(1);
    const int filterFields = filterFieldCount(fields.mid(2));
    record.filter = fields.mid(2, filterFields).join(space);

    // What follows the filter, read as the window's lookup reads it: a missing field repeats the last one read, and
    // an exposure typed with blanks reads back whole when the line ends in a light level.
    const QStringList rest = fields.mid(2 + filterFields);
    const int significant = fieldsBeforeTrailingEmpty(rest);
    if (significant > 2 && isLightLevel(rest.at(significant - 1))) {
        record.exposure = rest.mid(0, significant - 1).join(space);
        record.level = rest.at(significant - 1);
        return record;
    }
    const QString lastKeyWord = fields.at(1 + filterFields);
    record.exposure = rest.isEmpty() ? lastKeyWord : rest.at(0);
    record.level = rest.size() < 2 ? record.exposure : rest.at(1);
    record.note = rest.mid(2).join(space);
    return record;
}

std::vector<FlatRecord> parseFlatRecords(const std::vector<QString> &lines)
{
    std::vector<FlatRecord> records;
    for (const QString &line : lines)
        if (const std::optional<FlatRecord> record = parseFlatRecord(line))
            records.push_back(*record);
    return records;
}

void putFlatRecord(std::vector<QString> &lines, const FlatRecord &record)
{
    for (QString &line : lines) {
        const std::optional<FlatRecord> existing = parseFlatRecord(line);
        if (existing && sameConfiguration(*existing, record)) {
            line = record.line();
            return;
        }
    }
    lines.push_back(record.line());
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

QString panelFilterName(const QString &name)
{
    const QString looseName = loose(name);
    if (looseName.isEmpty())
        return QString();
    for (const QString &filter : panelFilterNames())
        if (loose(filter) == looseName)
            return filter;
    return longForm(looseName);
}

QString tableFilterName(const QString &wheelName, const std::vector<QString> &table, const QString &cameraType,
                        const QString &isoBin)
{
    const QStringList inTable = filtersInTable(table, cameraType, isoBin);
    if (inTable.contains(wheelName))
        return wheelName;
    const QString looseName = loose(wheelName);
    if (looseName.isEmpty())
        return QString();
    for (const QString &candidate : inTable)
        if (loose(candidate) == looseName)
            return candidate;
    // "Ha" on the wheel and "H-alpha" in the table, or the other way round.
    const QString panelWheelName = panelFilterName(wheelName);
    if (panelWheelName.isEmpty())
        return QString();
    for (const QString &candidate : inTable)
        if (panelFilterName(candidate) == panelWheelName)
            return candidate;
    return panelWheelName;
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
