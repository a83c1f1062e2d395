#include "tablewriter.h"

#include "configfile.h"

#include <QFile>

namespace tablewriter {

namespace {

bool readLines(const QString &path, std::vector<QString> &lines, QString &error)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("table \"%1\" could not be read: %2").arg(path, file.errorString());
        return false;
    }
    configfile::ReadResult read = configfile::readConfiguration(file);
    if (read.status != configfile::ReadStatus::Ok) {
        error = QStringLiteral("table \"%1\" could not be read: it is not a flat table").arg(path);
        return false;
    }
    lines = std::move(read.lines);
    return true;
}

} // namespace

bool put(const QString &path, std::vector<FlatRecord> &records, const QStringList &wheelNames, QString &error)
{
    std::vector<QString> lines;
    if (!readLines(path, lines, error))
        return false;
    for (FlatRecord &record : records)
        record = putFlatRecord(lines, record, wheelNames);
    tablefile::SaveProblem problem = tablefile::SaveProblem::None;
    QString reason;
    if (tablefile::save(path, lines, problem, reason))
        return true;
    error = QStringLiteral("table \"%1\" could not be written: %2").arg(path, reason);
    return false;
}

} // namespace tablewriter
