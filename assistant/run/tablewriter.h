// Results into a flat table file: each record replaces the line of its camera type, ISO/binning and filter (or is
// added), every other line is kept, and the file is replaced as the panel saves it.
#pragma once

#include "flatrecord.h"

#include <QString>

#include <vector>

namespace tablewriter {

// False, with `error` naming the file and the reason, when the table could not be read or written; the file is then
// as it was.
bool put(const QString &path, const std::vector<FlatRecord> &records, QString &error);

} // namespace tablewriter
