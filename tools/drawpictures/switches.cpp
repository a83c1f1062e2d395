#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

using namespace canvas;

namespace switches {

namespace {

const QSizeF onSize(666, 300);
const QSizeF offSize(670, 301);

struct Look {
    bool on;
    QColor track;
    QColor knob;
    QColor word;
};

const qreal margin = 8;
const qreal knobGap = 16;

QRectF trackRect(QSizeF size)
{
    return QRectF(QPointF(margin, margin), size - QSizeF(2 * margin, 2 * margin));
}

void drawTrack(QPainter &painter, const QRectF &track, const QColor &colour)
{
    const qreal radius = track.height() / 2;
    QLinearGradient shade(track.topLeft(), track.bottomLeft());
    shade.setColorAt(0, colour.lighter(118));
    shade.setColorAt(0.5, colour);
    shade.setColorAt(1, colour.darker(118));
    painter.fillPath(roundedRect(track, radius), shade);
    painter.strokePath(roundedRect(track.adjusted(3, 3, -3, -3), radius - 3), QPen(colour.darker(140), 6));
}

void drawKnob(QPainter &painter, QPointF centre, qreal radius, const QColor &colour)
{
    painter.fillPath(circle(centre + QPointF(0, 7), radius + 2), QColor(0, 0, 0, 70));
    QRadialGradient shine(centre - QPointF(radius / 3, radius / 3), radius * 1.5);
    shine.setColorAt(0, colour.lighter(110));
    shine.setColorAt(1, colour.darker(125));
    painter.fillPath(circle(centre, radius), shine);
    painter.strokePath(circle(centre, radius - 2), QPen(colour.darker(150), 4));
}

void drawSwitch(QPainter &painter, QSizeF size, const Look &look)
{
    const QRectF track = trackRect(size);
    const qreal trackRadius = track.height() / 2;
    const qreal knobRadius = trackRadius - knobGap;
    const qreal knobX = look.on ? track.right() - trackRadius : track.left() + trackRadius;
    drawTrack(painter, track, look.track);
    drawKnob(painter, QPointF(knobX, track.center().y()), knobRadius, look.knob);

    // The word sits in the free part of the track, beside the knob.
    const qreal freeLeft = look.on ? track.left() + trackRadius / 2 : knobX + knobRadius;
    const qreal freeRight = look.on ? knobX - knobRadius : track.right() - trackRadius / 2;
    centredText(painter, look.on ? QStringLiteral("ON") : QStringLiteral("OFF"),
                QPointF((freeLeft + freeRight) / 2, track.center().y()), 140, look.word);
}

} // namespace

void dayOn(QPainter &painter)
{
    drawSwitch(painter, onSize, {true, velmoraOrange, QColor(250, 250, 250), Qt::white});
}

void dayOff(QPainter &painter)
{
    drawSwitch(painter, offSize, {false, steelBlue, QColor(250, 250, 250), Qt::white});
}

void disabled(QPainter &painter)
{
    drawSwitch(painter, offSize, {false, QColor(58, 58, 58), QColor(118, 118, 118), QColor(118, 118, 118)});
}

void nightOn(QPainter &painter)
{
    drawSwitch(painter, onSize, {true, QColor(130, 0, 0), QColor(200, 30, 30), QColor(235, 60, 60)});
}

void nightOff(QPainter &painter)
{
    drawSwitch(painter, offSize, {false, QColor(55, 0, 0), QColor(120, 10, 10), QColor(150, 25, 25)});
}

} // namespace switches
