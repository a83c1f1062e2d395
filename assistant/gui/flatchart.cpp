#include "flatchart.h"

#include "assistanttheme.h"

#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

using namespace QtCharts;

namespace {

constexpr int maxLevel = 255;
constexpr int curveStep = 5;
// Saturated frames are drawn at the top: the search counts them as far too bright, not as figures.
constexpr double saturatedFigure = 1.0;

} // namespace

FlatChart::FlatChart(QWidget *parent)
    // Built on its chart: setChart() on a view would leave the view's first chart undeleted.
    : QChartView(new QChart, parent), frames(new QScatterSeries), saturated(new QScatterSeries), learnedCurve(new QLineSeries),
      bandLow(new QLineSeries), bandHigh(new QLineSeries), band(new QAreaSeries(bandHigh, bandLow)),
      levelAxis(new QValueAxis), figureAxis(new QValueAxis)
{
    setObjectName(QStringLiteral("flatChart"));
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(360, 260);

    // An area series does not own its two lines.
    bandLow->setParent(band);
    bandHigh->setParent(band);
    QChart *plot = chart();
    plot->setMargins(QMargins(4, 4, 4, 4));
    band->setName(tr("Target band"));
    learnedCurve->setName(tr("Learned curve"));
    frames->setName(tr("Frames"));
    saturated->setName(tr("Saturated"));
    frames->setMarkerSize(10);
    saturated->setMarkerSize(10);
    saturated->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    for (QAbstractSeries *series : {static_cast<QAbstractSeries *>(band), static_cast<QAbstractSeries *>(learnedCurve),
                                    static_cast<QAbstractSeries *>(frames), static_cast<QAbstractSeries *>(saturated)})
        plot->addSeries(series);

    // A little room beyond both ends, so that markers at level 0 or 255 are drawn whole.
    levelAxis->setRange(-4, maxLevel + 4);
    levelAxis->setTickType(QValueAxis::TicksDynamic);
    levelAxis->setTickAnchor(0);
    levelAxis->setTickInterval(50);
    levelAxis->setLabelFormat(QStringLiteral("%d"));
    levelAxis->setTitleText(tr("Lamp level"));
    figureAxis->setRange(0, 1.05);
    figureAxis->setTickType(QValueAxis::TicksDynamic);
    figureAxis->setTickAnchor(0);
    figureAxis->setTickInterval(0.1);
    figureAxis->setLabelFormat(QStringLiteral("%.1f"));
    figureAxis->setTitleText(tr("Median (of full scale)"));
    plot->addAxis(levelAxis, Qt::AlignBottom);
    plot->addAxis(figureAxis, Qt::AlignLeft);
    for (QAbstractSeries *series : plot->series()) {
        series->attachAxis(levelAxis);
        series->attachAxis(figureAxis);
    }
    plot->legend()->setAlignment(Qt::AlignBottom);
    setNight(false);
    redraw();
}

void FlatChart::setSettings(const flatsearch::Settings &newSettings)
{
    settings = newSettings;
    redraw();
}

void FlatChart::setCurve(const flatsearch::ResponseCurve &newCurve)
{
    curve = newCurve;
    redraw();
}

void FlatChart::addFrame(const QString &filter, const flatsearch::Frame &frame)
{
    framesByFilter[filter].push_back(frame);
    if (shown.isEmpty())
        shown = filter;
    if (filter == shown)
        redraw();
}

void FlatChart::showFilter(const QString &filter)
{
    shown = filter;
    redraw();
}

void FlatChart::clear()
{
    framesByFilter.clear();
    shown.clear();
    curve = flatsearch::ResponseCurve();
    redraw();
}

void FlatChart::redraw()
{
    const std::vector<flatsearch::Frame> shownFrames = framesByFilter.value(shown);
    drawFrames(shownFrames);
    drawCurve(shownFrames);
    drawBand();
    if (shown.isEmpty() || shownFrames.empty())
        chart()->setTitle(shown);
    else
        //: The chart's title: a filter and the exposure of its latest frame.
        chart()->setTitle(tr("%1 at %2 s").arg(shown, QString::number(shownFrames.back().exposure, 'g', 4)));
}

void FlatChart::drawFrames(const std::vector<flatsearch::Frame> &shownFrames)
{
    QList<QPointF> measured;
    QList<QPointF> clipped;
    for (const flatsearch::Frame &frame : shownFrames) {
        if (frame.saturated)
            clipped.append(QPointF(frame.level, saturatedFigure));
        else
            measured.append(QPointF(frame.level, frame.figure));
    }
    frames->replace(measured);
    saturated->replace(clipped);
}

// The box's curve is relative (1 at level 255); the filter's latest measured frame gives its scale.
void FlatChart::drawCurve(const std::vector<flatsearch::Frame> &shownFrames)
{
    const auto latest = std::find_if(shownFrames.rbegin(), shownFrames.rend(), [this](const flatsearch::Frame &f) {
        return !f.saturated && f.exposure > 0 && curve.brightness(f.level) > 0;
    });
    QList<QPointF> points;
    if (curve.known() && latest != shownFrames.rend()) {
        const double fullLevelRate = latest->figure / (latest->exposure * curve.brightness(latest->level));
        const flatsearch::FilterSearch search(settings, curve, fullLevelRate);
        const double exposure = shownFrames.back().exposure;
        for (int level = 0; level <= maxLevel; level += curveStep)
            points.append(QPointF(level, std::min(search.predictedFigure(level, exposure), saturatedFigure)));
    }
    learnedCurve->replace(points);
}

void FlatChart::drawBand()
{
    const double low = settings.target * (1 - settings.tolerance);
    const double high = settings.target * (1 + settings.tolerance);
    bandLow->replace(QList<QPointF>{{0, low}, {double(maxLevel), low}});
    bandHigh->replace(QList<QPointF>{{0, high}, {double(maxLevel), high}});
}

void FlatChart::setNight(bool night)
{
    const assistanttheme::ChartColours colours = assistanttheme::chartColours(night);
    // An area series does not own its two lines.
    bandLow->setParent(band);
    bandHigh->setParent(band);
    QChart *plot = chart();
    plot->setBackgroundBrush(colours.background);
    plot->setTitleBrush(colours.text);
    plot->legend()->setLabelColor(colours.text);
    setBackgroundBrush(colours.background);
    for (QValueAxis *axis : {levelAxis, figureAxis}) {
        axis->setLabelsColor(colours.text);
        axis->setTitleBrush(colours.text);
        axis->setGridLineColor(colours.grid);
        axis->setLinePenColor(colours.text);
    }
    frames->setColor(colours.frames);
    frames->setBorderColor(colours.frames);
    saturated->setColor(colours.saturated);
    saturated->setBorderColor(colours.saturated);
    learnedCurve->setPen(QPen(colours.curve, 2));
    band->setBrush(colours.band);
    band->setPen(QPen(colours.band.darker(120), 1));
}
