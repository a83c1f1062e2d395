#include "pictures.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>

namespace canvas {

void fillWhite(QPainter &painter, const QPainterPath &path)
{
    painter.fillPath(path, Qt::white);
}

void strokeWhite(QPainter &painter, const QPainterPath &path, qreal width)
{
    painter.strokePath(path, QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void cut(QPainter &painter, const QPainterPath &path)
{
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_Clear);
    painter.fillPath(path, Qt::black);
    painter.restore();
}

QPainterPath circle(QPointF centre, qreal radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath roundedRect(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

void centredText(QPainter &painter, const QString &text, QPointF centre, qreal pixelHeight, const QColor &colour,
                 qreal letterSpacing)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(qRound(pixelHeight));
    font.setLetterSpacing(QFont::PercentageSpacing, letterSpacing);
    // Centre the capital letters' ink, not the font's line box.
    const QRectF ink = QFontMetricsF(font).tightBoundingRect(text);
    QPainterPath path;
    path.addText(centre - ink.center(), font, text);
    painter.fillPath(path, colour);
}

} // namespace canvas
