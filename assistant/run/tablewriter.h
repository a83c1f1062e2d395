// Results into a flat table file: each record replaces the line that the table library's findFlatRecord finds for
// its filter (or is added), every other line is kept, and the file is replaced as the panel saves it.
#pragma once

#include "flatrecord.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace tablewriter {

// Each record's filter is a wheel's name; `wheelNames` are the names of the wheel's other filters, so that a line of
// "OIII 3nm" is never taken for one of "OIII". On return each record's filter is as its line spells it. False, with
// `error` naming the file and the reason, when the table could not be read or written; the file is then as it was.
bool put(const QString &path, std::vector<FlatRecord> &records, const QStringList &wheelNames, QString &error);

} // namespace tablewriter
