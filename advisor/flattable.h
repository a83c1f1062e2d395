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

// Finds the first line of the table that contains the key and reads its exposure and light level.
FlatTableMatch lookUpConfiguration(const std::vector<QString> &table, const QString &key);
