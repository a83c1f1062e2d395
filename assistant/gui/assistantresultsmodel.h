// The results table's rows: one per filter, with what its search has shown so far and where it stands. The window's
// decisions (whether there is anything to save, which filters the chart offers, which rows a stopped run leaves)
// read these rows; the table view only shows them.
#pragma once

#include "run/flatassistant.h"

#include <QAbstractTableModel>

class AssistantResultsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { FilterColumn, LevelColumn, ExposureColumn, MedianColumn, FramesColumn, StatusColumn, ColumnCount };
    enum class Status { Waiting, Searching, Done, NotReached, Stopped, Failed };
    Q_ENUM(Status)

    struct Row
    {
        FilterResult result;    // while searching: the latest frame's level, exposure and figure, the frames so far
        bool saturated = false; // the latest frame was
        Status status = Status::Waiting;
    };

    explicit AssistantResultsModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // A new run: a waiting row for each filter it was given (none when it does every filter of the wheel).
    void startRun(const QStringList &filters);
    void addFrame(const QString &filter, const flatsearch::Frame &frame);
    void finishFilter(const FilterResult &result);
    // The run ended before every filter was done: each filter waiting or being searched says why (Stopped or
    // Failed).
    void markUnfinished(Status why);

    const Row &row(int row) const { return rows.at(row); }
    // Some filter reached its target: there are lines to save.
    bool hasReachedTarget() const;
    // The filters with frames, in the table's order.
    QStringList measuredFilters() const;

private:
    int rowOf(const QString &filter);
    void rowChanged(int row);
    QString cellText(const Row &row, int column) const;
    QString statusText(const Row &row) const;

    QList<Row> rows;
};
