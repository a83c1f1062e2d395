// The live plot of one filter's test frames: figure against lamp level, the curve the search has learned (scaled
// to the filter through its latest frame) and the target band.
#pragma once

#include "search/flatsearch.h"

#include <QMap>
#include <QString>
#include <QtCharts/QChartView>

#include <vector>

namespace QtCharts {
class QAreaSeries;
class QLineSeries;
class QScatterSeries;
class QValueAxis;
} // namespace QtCharts

class FlatChart : public QtCharts::QChartView
{
    Q_OBJECT

public:
    explicit FlatChart(QWidget *parent = nullptr);

    void setSettings(const flatsearch::Settings &settings);
    void setCurve(const flatsearch::ResponseCurve &curve);
    void addFrame(const QString &filter, const flatsearch::Frame &frame);
    void showFilter(const QString &filter);
    void clear();
    void setNight(bool night);

    QString shownFilter() const { return shown; }

    // The series, for the window's tests.
    QtCharts::QScatterSeries *framesSeries() const { return frames; }
    QtCharts::QScatterSeries *saturatedSeries() const { return saturated; }
    QtCharts::QLineSeries *curveSeries() const { return learnedCurve; }
    QtCharts::QAreaSeries *bandSeries() const { return band; }

private:
    void redraw();
    void drawFrames(const std::vector<flatsearch::Frame> &shownFrames);
    void drawCurve(const std::vector<flatsearch::Frame> &shownFrames);
    void drawBand();

    flatsearch::Settings settings;
    flatsearch::ResponseCurve curve;
    QMap<QString, std::vector<flatsearch::Frame>> framesByFilter;
    QString shown;

    QtCharts::QScatterSeries *frames;
    QtCharts::QScatterSeries *saturated;
    QtCharts::QLineSeries *learnedCurve;
    QtCharts::QLineSeries *bandLow;
    QtCharts::QLineSeries *bandHigh;
    QtCharts::QAreaSeries *band;
    QtCharts::QValueAxis *levelAxis;
    QtCharts::QValueAxis *figureAxis;
};
