#include "resultsink.h"

#include "tablewriter.h"

#include <QtConcurrent>

namespace {
FlatRecord recordOf(const FilterResult &result, const TableLine &line)
{
    FlatRecord record;
    record.cameraType = line.cameraType;
    record.isoBin = line.isoBin;
    record.filter = result.filter; // the merge names the line's filter
    record.exposure = QString::number(result.exposure, 'g', 4);
    record.level = QString::number(result.level);
    return record;
}
} // namespace

FileResultSink::FileResultSink(const QString &table, const QString &setFolder)
    : tablePath(table), layout(1, setFolder)
{
}

FileResultSink::~FileResultSink()
{
    saving.waitForFinished();
}

bool FileResultSink::writeTable(const QString &path, QList<FilterResult> &results, const TableLine &line,
                                QString &problem)
{
    std::vector<FlatRecord> records;
    QList<FilterResult *> written;
    for (FilterResult &result : results) {
        if (!result.reached)
            continue;
        records.push_back(recordOf(result, line));
        written.append(&result);
    }
    if (!tablewriter::put(path, records, line.filterNames, problem))
        return false;
    for (int i = 0; i < written.size(); ++i)
        written[i]->tableFilter = records[size_t(i)].filter;
    return true;
}

bool FileResultSink::prepare(QString &problem)
{
    return layout.makeFolder(problem);
}

bool FileResultSink::putResult(FilterResult &result, const TableLine &line, QString &problem)
{
    if (!result.reached || tablePath.isEmpty())
        return true;
    QList<FilterResult> one = {result};
    if (!writeTable(tablePath, one, line, problem))
        return false;
    result.tableFilter = one.front().tableFilter;
    return true;
}

void FileResultSink::saveShot(const QByteArray &frame, const FlatSet::Shot &shot, const QString &dateObs,
                              const Saved &done)
{
    QObject::disconnect(&saving, nullptr, &savingContext, nullptr);
    QObject::connect(&saving, &QFutureWatcher<FlatSet::Saved>::finished, &savingContext,
                     [this, done] { done(saving.result()); });
    saving.setFuture(QtConcurrent::run([frame, folder = layout.folderOf(shot), stem = FlatSet::stemOf(shot), shot,
                                        dateObs] { return FlatSet::save(frame, folder, stem, shot, dateObs); }));
}

BoxMemory FileResultSink::recall(const QString &boxId) const
{
    return CurveStore().load(boxId);
}

bool FileResultSink::keep(const QString &boxId, const BoxMemory &memory, QString &problem) const
{
    return CurveStore().save(boxId, memory, problem);
}
