#pragma once

#include <QPixmap>
#include <QString>

// The window on high-density screens (150%, 200% desktops).

// Lets Qt scale the window and everything in it by the screen's density, 1.25 and 1.5 included, and pick the
// "name@2x.png" renderings of icons. Must run before the application object is made. A user's own settings still
// apply: QT_SCALE_FACTOR on top of the screen's factor, QT_SCREEN_SCALE_FACTORS in place of it,
// QT_ENABLE_HIGHDPI_SCALING=0 or QT_SCALE_FACTOR_ROUNDING_POLICY as Qt reads them.
void enableHighDensityScaling();

// A picture that the window draws pixel for pixel (the graphics views), as the rendering drawn for the given
// device pixel ratio: "name.png", "name@1.5x.png" or "name@2x.png" beside it, whichever is the smallest that has
// enough pixels; scaled smoothly when none is drawn for that ratio exactly. Its size in device-independent pixels is
// that of "name.png".
QPixmap pictureForDensity(const QString &file, qreal devicePixelRatio);
