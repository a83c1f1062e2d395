#include "pictures.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QtMath>

using namespace canvas;

namespace icons {

namespace {

QPainterPath bulbGlass()
{
    QPainterPath glass;
    glass.moveTo(37, 64);
    glass.cubicTo(37, 54, 20, 50, 20, 35);
    glass.arcTo(QRectF(20, 7, 56, 56), 180, -180);
    glass.cubicTo(76, 50, 59, 54, 59, 64);
    glass.closeSubpath();
    return glass;
}

QPainterPath bulbRays()
{
    QPainterPath rays;
    const QPointF centre(48, 35);
    for (qreal angle : {-150.0, -120.0, -90.0, -60.0, -30.0}) {
        const QPointF direction(qCos(qDegreesToRadians(angle)), qSin(qDegreesToRadians(angle)));
        rays.moveTo(centre + direction * 38);
        rays.lineTo(centre + direction * 45);
    }
    return rays;
}

} // namespace

void lightBulb(QPainter &painter)
{
    // The drawing spans y = -10 (tips of the rays) to 89 (foot of the base): fit it into the icon.
    painter.translate(48, 50);
    painter.scale(0.86, 0.86);
    painter.translate(-48, -40);
    strokeWhite(painter, bulbGlass(), 6);
    strokeWhite(painter, bulbRays(), 5);
    QPainterPath filament;
    filament.moveTo(41, 62);
    filament.lineTo(41, 44);
    filament.cubicTo(41, 36, 55, 36, 55, 44);
    filament.lineTo(55, 62);
    strokeWhite(painter, filament, 3.5);
    fillWhite(painter, roundedRect(QRectF(35, 68, 26, 6), 3));
    fillWhite(painter, roundedRect(QRectF(36, 76, 24, 6), 3));
    fillWhite(painter, roundedRect(QRectF(41, 84, 14, 5), 2.5));
}

void threeCircles(QPainter &painter)
{
    const QPointF centres[] = {{48, 33}, {33, 59}, {63, 59}};
    for (QPointF centre : centres)
        painter.fillPath(circle(centre, 24), QColor(255, 255, 255, 70));
    for (QPointF centre : centres)
        strokeWhite(painter, circle(centre, 24), 4.5);
}

void gearWheel(QPainter &painter)
{
    const QPointF centre(48, 48);
    QPainterPath gear = circle(centre, 30);
    const int teeth = 8;
    for (int i = 0; i < teeth; ++i) {
        QTransform turn;
        turn.translate(centre.x(), centre.y());
        turn.rotate(i * 360.0 / teeth);
        QPainterPath tooth;
        tooth.moveTo(-9, -26);
        tooth.lineTo(-6, -42);
        tooth.quadTo(0, -44, 6, -42);
        tooth.lineTo(9, -26);
        tooth.closeSubpath();
        gear = gear.united(turn.map(tooth));
    }
    fillWhite(painter, gear.subtracted(circle(centre, 13)));
}

void infoLetter(QPainter &painter)
{
    strokeWhite(painter, circle(QPointF(48, 48), 40), 6);
    fillWhite(painter, circle(QPointF(48, 26), 6.5));
    QPainterPath letter;
    letter.moveTo(38, 38);
    letter.lineTo(53, 38);
    letter.lineTo(53, 67);
    letter.lineTo(58, 67);
    letter.lineTo(58, 74);
    letter.lineTo(38, 74);
    letter.lineTo(38, 67);
    letter.lineTo(43, 67);
    letter.lineTo(43, 45);
    letter.lineTo(38, 45);
    letter.closeSubpath();
    fillWhite(painter, letter);
}

void framedLandscape(QPainter &painter)
{
    const QRectF frame(8, 16, 80, 64);
    strokeWhite(painter, roundedRect(frame, 7), 6);
    painter.save();
    painter.setClipPath(roundedRect(frame.adjusted(3, 3, -3, -3), 4));
    fillWhite(painter, circle(QPointF(66, 35), 7.5));
    QPainterPath mountains;
    mountains.moveTo(8, 80);
    mountains.lineTo(36, 42);
    mountains.lineTo(53, 64);
    mountains.lineTo(62, 53);
    mountains.lineTo(88, 80);
    mountains.closeSubpath();
    fillWhite(painter, mountains);
    painter.restore();
}

void remoteControl(QPainter &painter)
{
    painter.translate(48, 48);
    painter.rotate(-20);
    painter.translate(-48, -48);
    fillWhite(painter, roundedRect(QRectF(31, 4, 34, 88), 11));
    cut(painter, circle(QPointF(48, 15), 4));
    cut(painter, circle(QPointF(48, 38), 11));
    fillWhite(painter, circle(QPointF(48, 38), 5));
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            cut(painter, roundedRect(QRectF(37 + column * 8.5, 58 + row * 8.5, 5, 5), 1.5));
}

void downTriangle(QPainter &painter)
{
    QPainterPath triangle;
    triangle.moveTo(16, 30);
    triangle.lineTo(80, 30);
    triangle.lineTo(48, 68);
    triangle.closeSubpath();
    fillWhite(painter, triangle);
    strokeWhite(painter, triangle, 8);
}

void plusSign(QPainter &painter)
{
    fillWhite(painter, roundedRect(QRectF(8, 37, 87, 29), 6).united(roundedRect(QRectF(37, 8, 29, 87), 6)));
}

void minusBar(QPainter &painter)
{
    fillWhite(painter, roundedRect(QRectF(8, 2, 87, 29), 6));
}

void toolkitBadge(QPainter &painter)
{
    QLinearGradient green(0, 0, 0, 35);
    green.setColorAt(0, QColor(76, 216, 92));
    green.setColorAt(1, QColor(48, 178, 64));
    painter.fillPath(roundedRect(QRectF(1, 1, 46, 33), 7), green);
    centredText(painter, QStringLiteral("Qt"), QPointF(24, 17.5), 24, Qt::white);
}

} // namespace icons
