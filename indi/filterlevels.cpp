#include "filterlevels.h"

#include "configfile.h"
#include "flattable.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace {

const QLatin1Char space(' ');

// The filters tab's filter list, as its English texts.
const QStringList &panelFilters()
{
    static const QStringList names = {QStringLiteral("Luminance"), QStringLiteral("Red"),
                                      QStringLiteral("Green"),     QStringLiteral("Blue"),
                                      QStringLiteral("H-alpha"),   QStringLiteral("OIII"),
                                      QStringLiteral("SII"),       QStringLiteral("Light Pollution"),
                                      QStringLiteral("Custom")};
    return names;
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
        {{"ha", "halpha"}, QStringLiteral("H-alpha")},
        {{"o3"}, QStringLiteral("OIII")},
        {{"s2"}, QStringLiteral("SII")},
        {{"lp", "lpr"}, QStringLiteral("Light Pollution")},
    };
    for (const auto &form : forms)
        if (form.first.contains(looseName))
            return form.second;
    return QString();
}

// The filter texts of the table's lines for this camera and ISO/binning: what follows the two, less the exposure
// and light level at the end.
QStringList filtersInTable(const std::vector<QString> &table, const QString &camera, const QString &isoBin)
{
    const QString prefix = camera + space + isoBin + space;
    QStringList filters;
    for (const QString &line : table) {
        if (!line.startsWith(prefix))
            continue;
        QStringList fields = line.mid(prefix.size()).split(space);
        if (fields.size() > 2)
            fields = fields.mid(0, fields.size() - 2);
        else
            fields = fields.mid(0, 1);
        filters.append(fields.join(space));
    }
    return filters;
}

// The panel's name for a filter name, compared loosely or as a short form; empty when it has none.
QString panelName(const QString &name)
{
    const QString looseName = loose(name);
    for (const QString &filter : panelFilters())
        if (loose(filter) == looseName)
            return filter;
    return longForm(looseName);
}

} // namespace

QString tableFilterName(const QString &wheelName, const std::vector<QString> &table, const QString &camera,
                        const QString &isoBin)
{
    const QStringList inTable = filtersInTable(table, camera, isoBin);
    if (inTable.contains(wheelName))
        return wheelName;
    const QString looseName = loose(wheelName);
    if (looseName.isEmpty())
        return QString();
    for (const QString &candidate : inTable)
        if (loose(candidate) == looseName)
            return candidate;
    // "Ha" on the wheel and "H-alpha" in the table, or the other way round.
    const QString panelWheelName = panelName(wheelName);
    if (panelWheelName.isEmpty())
        return QString();
    for (const QString &candidate : inTable)
        if (panelName(candidate) == panelWheelName)
            return candidate;
    return panelWheelName;
}

int tableLevel(const std::vector<QString> &table, const QString &camera, const QString &isoBin, const QString &filter)
{
    if (filter.isEmpty())
        return -1;
    const FlatTableMatch match = lookUpConfiguration(table, camera + space + isoBin + space + filter);
    if (!match.found)
        return -1;
    return std::clamp(match.lightLevel.toInt(), 0, 255); // 0 for text that is not a number
}

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
