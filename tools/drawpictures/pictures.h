#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>

class QPainter;

// Each drawing paints into its own design space (given beside it); the generator scales that space to the
// picture's pixel size.

namespace canvas {
const QColor panelGrey(80, 80, 80);
const QColor steelBlue(98, 136, 163);
const QColor velmoraOrange(248, 141, 2);

void fillWhite(QPainter &painter, const QPainterPath &path);
void strokeWhite(QPainter &painter, const QPainterPath &path, qreal width);
// Cuts a hole into what is already drawn: the hole becomes transparent.
void cut(QPainter &painter, const QPainterPath &path);
QPainterPath circle(QPointF centre, qreal radius);
QPainterPath roundedRect(const QRectF &rect, qreal radius);
// Writes text in the given pixel height, centred on the point; letterSpacing in percent of the normal spacing.
void centredText(QPainter &painter, const QString &text, QPointF centre, qreal pixelHeight, const QColor &colour,
                 qreal letterSpacing = 100);
}

namespace icons { // 96 x 96, except where told
void lightBulb(QPainter &painter);
void threeCircles(QPainter &painter);
void gearWheel(QPainter &painter);
void infoLetter(QPainter &painter);
void framedLandscape(QPainter &painter);
void remoteControl(QPainter &painter);
void downTriangle(QPainter &painter);
void plusSign(QPainter &painter);     // 103 x 103
void minusBar(QPainter &painter);     // 103 x 33
void toolkitBadge(QPainter &painter); // 48 x 35
}

namespace switches { // 666 x 300 for the on pictures, 670 x 301 for the others
void dayOn(QPainter &painter);
void dayOff(QPainter &painter);
void disabled(QPainter &painter);
void nightOn(QPainter &painter);
void nightOff(QPainter &painter);
}

namespace artwork {
void programLogo(QPainter &painter);  // 256 x 256
void productBanner(QPainter &painter); // 334 x 59
void filterWheel(QPainter &painter);  // 200 x 200
void flatBox(QPainter &painter);      // 280 x 280
}
