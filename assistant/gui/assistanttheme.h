// The assistant window's day and night looks, in the panel's colours: the panel's grey and blue by day, its red on
// black at night. One sheet for the whole window, and the matching colours for the chart, which style sheets do
// not reach.
#pragma once

#include <QColor>

class QString;

namespace assistanttheme {

QString windowSheet(bool night);

struct ChartColours
{
    QColor background;
    QColor text;
    QColor grid;
    QColor frames;
    QColor saturated;
    QColor curve;
    QColor band;
};

ChartColours chartColours(bool night);

} // namespace assistanttheme
