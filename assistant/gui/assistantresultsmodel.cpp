#include "assistantresultsmodel.h"

#include <algorithm>

namespace {

QString figureText(double figure)
{
    return QString::number(figure, 'f', 3);
}

QString secondsText(double seconds)
{
    return QString::number(seconds, 'g', 4);
}

bool unfinished(AssistantResultsModel::Status status)
{
    return status == AssistantResultsModel::Status::Waiting || status == AssistantResultsModel::Status::Searching;
}

} // namespace

AssistantResultsModel::AssistantResultsModel(QObject *parent) : QAbstractTableModel(parent) {}

int AssistantResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows.size();
}

int AssistantResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant AssistantResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole)
        return QVariant();
    return cellText(rows.at(index.row()), index.column());
}

QVariant AssistantResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case FilterColumn:
        return tr("Filter");
    case LevelColumn:
        return tr("Level");
    case ExposureColumn:
        return tr("Exposure (s)");
    case MedianColumn:
        return tr("Median");
    case FramesColumn:
        return tr("Frames");
    case StatusColumn:
        return tr("Status");
    }
    return QVariant();
}

QString AssistantResultsModel::cellText(const Row &row, int column) const
{
    const FilterResult &result = row.result;
    // A filter not measured yet has nothing to show but its name, its status and no frames.
    const bool measured = result.frames > 0;
    switch (column) {
    case FilterColumn:
        if (!result.tableFilter.isEmpty() && result.tableFilter != result.filter)
            return QStringLiteral("%1 (%2)").arg(result.filter, result.tableFilter);
        return result.filter;
    case LevelColumn:
        return measured ? QString::number(result.level) : QString();
    case ExposureColumn:
        return measured ? secondsText(result.exposure) : QString();
    case MedianColumn:
        if (!measured)
            return QString();
        return row.saturated ? tr("saturated") : figureText(result.figure);
    case FramesColumn:
        return QString::number(result.frames);
    case StatusColumn:
        return statusText(row);
    }
    return QString();
}

QString AssistantResultsModel::statusText(const Row &row) const
{
    switch (row.status) {
    case Status::Waiting:
        return tr("Waiting");
    case Status::Searching:
        return tr("Searching…");
    case Status::Stopped:
        return tr("Stopped");
    case Status::Failed:
        return tr("Failed");
    case Status::Done:
    case Status::NotReached:
        break;
    }
    const QString outcome = row.status == Status::Done ? tr("Done") : tr("Not reached");
    if (row.result.bandingBelow > 0)
        return tr("%1, banding below %2 s").arg(outcome, QString::number(row.result.bandingBelow, 'g', 2));
    return outcome;
}

void AssistantResultsModel::startRun(const QStringList &filters)
{
    beginResetModel();
    rows.clear();
    for (const QString &filter : filters) {
        Row row;
        row.result.filter = filter;
        rows.append(row);
    }
    endResetModel();
}

void AssistantResultsModel::addFrame(const QString &filter, const flatsearch::Frame &frame)
{
    const int index = rowOf(filter);
    Row &row = rows[index];
    row.result.level = frame.level;
    row.result.exposure = frame.exposure;
    row.result.figure = frame.figure;
    row.result.frames += 1;
    row.saturated = frame.saturated;
    row.status = Status::Searching;
    rowChanged(index);
}

void AssistantResultsModel::finishFilter(const FilterResult &result)
{
    const int index = rowOf(result.filter);
    Row &row = rows[index];
    row.result = result;
    row.saturated = false;
    row.status = result.reached ? Status::Done : Status::NotReached;
    rowChanged(index);
}

void AssistantResultsModel::markUnfinished(Status why)
{
    for (int index = 0; index < rows.size(); ++index) {
        if (unfinished(rows[index].status)) {
            rows[index].status = why;
            rowChanged(index);
        }
    }
}

bool AssistantResultsModel::hasReachedTarget() const
{
    return std::any_of(rows.begin(), rows.end(), [](const Row &row) { return row.status == Status::Done; });
}

QStringList AssistantResultsModel::measuredFilters() const
{
    QStringList filters;
    for (const Row &row : rows) {
        if (row.result.frames > 0)
            filters.append(row.result.filter);
    }
    return filters;
}

// The row of a filter; one is added for a filter the run was not given by name.
int AssistantResultsModel::rowOf(const QString &filter)
{
    for (int index = 0; index < rows.size(); ++index) {
        if (rows[index].result.filter == filter)
            return index;
    }
    beginInsertRows(QModelIndex(), rows.size(), rows.size());
    Row row;
    row.result.filter = filter;
    rows.append(row);
    endInsertRows();
    return rows.size() - 1;
}

void AssistantResultsModel::rowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}
