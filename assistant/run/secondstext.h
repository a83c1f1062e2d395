// Seconds as the progress lines, the result lines and the flat set's file names write them, so that one exposure
// reads the same everywhere: up to four significant digits ("2", "16.87").
#pragma once

#include <QString>

inline QString secondsText(double value)
{
    return QString::number(value, 'g', 4);
}
