// The assistant window's day and night looks, made from the panel's palettes (themepalette.h): the panel's grey and
// blue by day, its black and red at night. One sheet for the whole window, and the matching colours for the chart,
// which style sheets do not reach.
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
