// Where a run's results go: each filter's line into the table, the frames of the flat set into their files, and
// the box's learned curve and filter rates into its memory. The run hands them over and knows no files.
#pragma once

#include "flatassistant.h"
#include "flatset.h"
#include "search/curvestore.h"

#include <QFutureWatcher>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// How a result is written as a table line.
struct TableLine
{
    QString cameraType;     // "CCD" or "DSLR"
    QString isoBin;         // "1x1", "800"
    QStringList filterNames; // the run's and the wheel's filters: the names a line's filter could be
};

class ResultSink
{
public:
    using Saved = std::function<void(const FlatSet::Saved &saved)>;
    virtual ~ResultSink() = default;

    // Before the run: readies the flat set's folder; false, with `problem`, when it cannot be made.
    virtual bool prepare(QString &problem) = 0;
    // A filter's result that reached the target; its table filter becomes the one of the line it went to. False,
    // with `problem`, when the table could not take it.
    virtual bool putResult(FilterResult &result, const TableLine &line, QString &problem) = 0;
    // A frame of the flat set, saved off the event loop's thread; `done` answers on it.
    virtual void saveShot(const QByteArray &frame, const FlatSet::Shot &shot, const QString &dateObs,
                          const Saved &done) = 0;
    virtual BoxMemory recall(const QString &boxId) const = 0;
    virtual bool keep(const QString &boxId, const BoxMemory &memory, QString &problem) const = 0;
};

// The table file (none: results are only reported), the flat set's folder and the box memory of CurveStore.
class FileResultSink : public ResultSink
{
public:
    // `tablePath` empty: no table. `setFolder` empty: no flat set is saved.
    FileResultSink(const QString &tablePath, const QString &setFolder);
    // Waits for a frame being saved.
    ~FileResultSink() override;

    // Merges the results that reached the target into a table file (other lines kept, the file replaced atomically).
    static bool writeTable(const QString &tablePath, QList<FilterResult> &results, const TableLine &line,
                           QString &problem);

    bool prepare(QString &problem) override;
    bool putResult(FilterResult &result, const TableLine &line, QString &problem) override;
    void saveShot(const QByteArray &frame, const FlatSet::Shot &shot, const QString &dateObs,
                  const Saved &done) override;
    BoxMemory recall(const QString &boxId) const override;
    bool keep(const QString &boxId, const BoxMemory &memory, QString &problem) const override;

private:
    QString tablePath;
    FlatSet layout; // names the flat set's folders
    QFutureWatcher<FlatSet::Saved> saving;
    QObject savingContext; // the receiver of the frame's answer
};
