#pragma once

#include <QString>

#include <vector>

// The result of looking a configuration key up in the flat table.
struct FlatTableMatch
{
    bool found = false;
    int index = 0;
    QString exposure;
    QString lightLevel;
};

// Finds the first line of the table that contains the key (anywhere, case-sensitive) and reads its exposure and
// light level. Fields are split at every single space and counted from the start of the line; the key has k fields.
// When the line has more than k + 2 fields (empty fields at its end not counted) and the last of them is a whole
// number from 0 to 255, that one is the light level and the ones between the key's fields and it make up the
// exposure, so an exposure typed with spaces reads back as written; a trailing note ("... 2.5 140 dusk") is not a
// light level and leaves the line to the plain rule. Otherwise field k + 1 is the exposure and field k + 2 the
// light level, and a field past the end of the line repeats the last one.
FlatTableMatch lookUpConfiguration(const std::vector<QString> &table, const QString &key);
