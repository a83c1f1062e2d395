// Fuzzes the flat table lookup. The input, as UTF-8: the key on the first line, the table lines after it.
// Checks the result against a plain scan of the table, and that a line written the way the settings tab writes it
// (key, exposure, level joined by spaces) gives its exposure and level back exactly.
#include "flattable.h"

#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "lookup check failed: %s\n", what);
        std::abort();
    }
}

void checkAgainstScan(const std::vector<QString> &table, const QString &key)
{
    const FlatTableMatch match = lookUpConfiguration(table, key);
    int first = -1;
    for (size_t i = 0; i < table.size() && first < 0; ++i)
        if (table[i].contains(key))
            first = int(i);
    if (first < 0) {
        require(!match.found && match.index == 0 && match.exposure.isEmpty() && match.lightLevel.isEmpty(),
                "no line holds the key, yet something was found");
        return;
    }
    require(match.found && match.index == first, "not the first line that holds the key");
    const QString &line = table[size_t(first)];
    require(line.contains(match.exposure) && line.contains(match.lightLevel), "a text that is not in the line");
    require(!match.lightLevel.contains(QLatin1Char(' ')), "a light level with a space");
}

void checkEditorLine(const QString &key, const QString &exposure, const QString &lightLevel)
{
    const std::vector<QString> table = {key + QLatin1Char(' ') + exposure + QLatin1Char(' ') + lightLevel};
    const FlatTableMatch match = lookUpConfiguration(table, key);
    require(match.found && match.index == 0, "the editor's line is not found");
    require(match.exposure == exposure, "the editor's exposure does not read back");
    require(match.lightLevel == lightLevel, "the editor's light level does not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), int(size));
    QStringList lines = text.split(QLatin1Char('\n'));
    const QString key = lines.takeFirst();
    const std::vector<QString> table(lines.cbegin(), lines.cend());
    checkAgainstScan(table, key);

    const QString exposure = lines.value(0);
    checkEditorLine(key, exposure, QString::number(size % 256));
    return 0;
}
