#include "flattable.h"

#include <QStringList>

#include <algorithm>

namespace {

const QChar fieldSeparator = QLatin1Char(' ');

// The number of fields up to the last one that is not empty.
int fieldsBeforeTrailingEmpty(const QStringList &fields)
{
    int count = fields.size();
    while (count > 0 && fields.at(count - 1).isEmpty())
        --count;
    return count;
}

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

// Field `number`, counted from 1; a number past the end gives the last field.
QString fieldOrLast(const QStringList &fields, int number)
{
    return fields.at(std::min(number, fields.size()) - 1);
}

void readExposureAndLightLevel(const QString &line, int keyFields, FlatTableMatch &match)
{
    const QStringList fields = line.split(fieldSeparator); // never empty: a line without a space is one field
    const int significant = fieldsBeforeTrailingEmpty(fields);
    if (significant > keyFields + 2 && isLightLevel(fields.at(significant - 1))) {
        match.exposure = fields.mid(keyFields, significant - 1 - keyFields).join(fieldSeparator);
        match.lightLevel = fields.at(significant - 1);
    } else {
        match.exposure = fieldOrLast(fields, keyFields + 1);
        match.lightLevel = fieldOrLast(fields, keyFields + 2);
    }
}

} // namespace

FlatTableMatch lookUpConfiguration(const std::vector<QString> &table, const QString &key)
{
    const auto line = std::find_if(table.cbegin(), table.cend(),
                                   [&key](const QString &candidate) { return candidate.contains(key); });
    FlatTableMatch match;
    if (line == table.cend())
        return match;
    match.found = true;
    match.index = int(line - table.cbegin());
    readExposureAndLightLevel(*line, key.count(fieldSeparator) + 1, match);
    return match;
}
