#include "pictures.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QtMath>

#include <iterator>

using namespace canvas;

namespace artwork {

namespace {

QPainterPath ellipse(QPointF centre, qreal rx, qreal ry)
{
    QPainterPath path;
    path.addEllipse(centre, rx, ry);
    return path;
}

QPainterPath sparkle(QPointF centre, qreal size)
{
    QPainterPath star;
    star.moveTo(centre + QPointF(0, -size));
    star.quadTo(centre, centre + QPointF(size, 0));
    star.quadTo(centre, centre + QPointF(0, size));
    star.quadTo(centre, centre + QPointF(-size, 0));
    star.quadTo(centre, centre + QPointF(0, -size));
    return star;
}

// Writes one line of capitals whose ink fills the box exactly in width and is centred in it in height.
void spreadText(QPainter &painter, const QString &text, const QRectF &box, const QString &family, int weight,
                qreal pixelSize, const QColor &colour)
{
    QFont font(family);
    font.setWeight(weight);
    font.setPixelSize(qRound(pixelSize));
    const qreal naturalWidth = QFontMetricsF(font).tightBoundingRect(text).width();
    font.setLetterSpacing(QFont::AbsoluteSpacing, (box.width() - naturalWidth) / (text.size() - 1));
    const QRectF ink = QFontMetricsF(font).tightBoundingRect(text);
    QPainterPath path;
    path.addText(QPointF(box.left() - ink.left(), box.center().y() - ink.center().y()), font, text);
    painter.fillPath(path, colour);
}

struct Filter {
    QString label;
    QColor glass;
    QColor labelColour;
};

void drawFilter(QPainter &painter, QPointF centre, const Filter &filter)
{
    painter.fillPath(circle(centre, 26), QColor(18, 18, 20));
    QRadialGradient glass(centre - QPointF(8, 8), 34);
    glass.setColorAt(0, filter.glass.lighter(150));
    glass.setColorAt(0.6, filter.glass);
    glass.setColorAt(1, filter.glass.darker(160));
    painter.fillPath(circle(centre, 22.5), glass);
    painter.fillPath(ellipse(centre + QPointF(-7, -10), 9, 5), QColor(255, 255, 255, 90));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(filter.label.size() > 2 ? 10 : 13);
    const QRectF ink = QFontMetricsF(font).tightBoundingRect(filter.label);
    QPainterPath label;
    label.addText(centre + QPointF(0, 4) - ink.center(), font, filter.label);
    painter.fillPath(label, filter.labelColour);
}

// The panel seen from above at an angle: a round lit face on a short dark cylinder.
const QPointF boxCentre(140, 118);
const qreal boxRadiusX = 124;
const qreal boxRadiusY = 68;
const qreal boxDepth = 28;

void drawBoxShadow(QPainter &painter)
{
    painter.save();
    painter.translate(boxCentre + QPointF(8, boxDepth + 26));
    painter.scale(1, 0.34);
    QRadialGradient shadow(QPointF(0, 0), 132);
    shadow.setColorAt(0, QColor(0, 0, 0, 120));
    shadow.setColorAt(0.8, QColor(0, 0, 0, 60));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    painter.fillPath(circle(QPointF(0, 0), 132), shadow);
    painter.restore();
}

void drawBoxSide(QPainter &painter)
{
    const QRectF top(boxCentre - QPointF(boxRadiusX, boxRadiusY), QSizeF(2 * boxRadiusX, 2 * boxRadiusY));
    QPainterPath side;
    side.moveTo(top.left(), boxCentre.y());
    side.arcTo(top, 180, 180);
    side.lineTo(top.right(), boxCentre.y() + boxDepth);
    side.arcTo(top.translated(0, boxDepth), 0, -180);
    side.closeSubpath();
    QLinearGradient metal(top.left(), 0, top.right(), 0);
    metal.setColorAt(0, QColor(34, 35, 38));
    metal.setColorAt(0.3, QColor(96, 99, 106));
    metal.setColorAt(0.55, QColor(58, 60, 65));
    metal.setColorAt(1, QColor(26, 27, 30));
    painter.fillPath(side, metal);
}

void drawBoxLabel(QPainter &painter)
{
    const qreal bandMiddle = boxCentre.y() + boxRadiusY + boxDepth / 2;
    QFont font(QStringLiteral("URW Gothic"));
    font.setWeight(QFont::DemiBold);
    font.setPixelSize(11);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 2);
    const QString name = QStringLiteral("VELMORA");
    const QRectF ink = QFontMetricsF(font).tightBoundingRect(name);
    QPainterPath label;
    label.addText(QPointF(boxCentre.x(), bandMiddle) - ink.center(), font, name);
    painter.fillPath(label, QColor(200, 204, 210));
    painter.fillPath(circle(QPointF(boxCentre.x() - 78, bandMiddle - 6), 3.2), velmoraOrange);
}

void drawBoxFace(QPainter &painter)
{
    painter.fillPath(ellipse(boxCentre, boxRadiusX, boxRadiusY), QColor(44, 45, 49));
    painter.strokePath(ellipse(boxCentre, boxRadiusX - 1, boxRadiusY - 1), QPen(QColor(120, 124, 132), 2));
    painter.save();
    painter.translate(boxCentre);
    painter.scale(1, boxRadiusY / boxRadiusX);
    const qreal lit = boxRadiusX - 13;
    QRadialGradient light(QPointF(-18, -30), lit * 1.15);
    light.setColorAt(0, QColor(255, 255, 255));
    light.setColorAt(0.65, QColor(244, 247, 255));
    light.setColorAt(1, QColor(196, 208, 228));
    painter.fillPath(circle(QPointF(0, 0), lit), light);
    painter.strokePath(circle(QPointF(0, 0), lit), QPen(QColor(25, 25, 28), 3));
    painter.restore();
}

void drawCable(QPainter &painter)
{
    QPainterPath cable;
    cable.moveTo(232, 178);
    cable.cubicTo(262, 196, 236, 240, 274, 262);
    painter.strokePath(cable, QPen(QColor(20, 20, 22), 7, Qt::SolidLine, Qt::RoundCap));
    painter.strokePath(cable, QPen(QColor(70, 72, 78), 2, Qt::SolidLine, Qt::RoundCap));
    QPainterPath strainRelief;
    strainRelief.moveTo(224, 172);
    strainRelief.lineTo(238, 182);
    painter.strokePath(strainRelief, QPen(QColor(15, 15, 17), 11, Qt::SolidLine, Qt::FlatCap));
}

} // namespace

void programLogo(QPainter &painter)
{
    QLinearGradient sky(0, 8, 0, 248);
    sky.setColorAt(0, steelBlue.lighter(125));
    sky.setColorAt(1, steelBlue.darker(170));
    painter.fillPath(roundedRect(QRectF(8, 8, 240, 240), 52), sky);
    const QPointF centre(128, 136);
    QRadialGradient light(centre - QPointF(18, 22), 92);
    light.setColorAt(0, Qt::white);
    light.setColorAt(0.7, QColor(255, 246, 226));
    light.setColorAt(1, QColor(255, 214, 150));
    painter.fillPath(circle(centre, 80), light);
    painter.strokePath(circle(centre, 88), QPen(velmoraOrange, 20));
    painter.fillPath(sparkle(QPointF(204, 52), 22), Qt::white);
    painter.fillPath(sparkle(QPointF(48, 44), 11), QColor(255, 255, 255, 200));
}

void productBanner(QPainter &painter)
{
    painter.save();
    painter.translate(2, 4.5);
    painter.scale(50.0 / 256, 50.0 / 256);
    programLogo(painter);
    painter.restore();
    const QString family = QStringLiteral("URW Gothic");
    spreadText(painter, QStringLiteral("VELMORA"), QRectF(64, 5, 266, 32), family, QFont::DemiBold, 44, Qt::white);
    spreadText(painter, QStringLiteral("FLAT FIELD GENERATOR"), QRectF(65, 44, 264, 10), family, QFont::DemiBold,
               13.5, velmoraOrange);
}

void filterWheel(QPainter &painter)
{
    const QPointF centre(100, 100);
    QLinearGradient metal(0, 0, 200, 200);
    metal.setColorAt(0, QColor(92, 96, 104));
    metal.setColorAt(0.5, QColor(52, 55, 60));
    metal.setColorAt(1, QColor(30, 31, 34));
    painter.fillPath(circle(centre, 97), metal);
    painter.strokePath(circle(centre, 96), QPen(QColor(140, 146, 156), 2));

    const Filter filters[] = {
        {QStringLiteral("L"), QColor(214, 222, 232), QColor(40, 44, 52)},
        {QStringLiteral("R"), QColor(214, 28, 28), Qt::white},
        {QStringLiteral("G"), QColor(36, 170, 60), Qt::white},
        {QStringLiteral("B"), QColor(36, 82, 220), Qt::white},
        {QStringLiteral("Hα"), QColor(150, 0, 36), Qt::white},
        {QStringLiteral("OIII"), QColor(0, 168, 170), Qt::white},
        {QStringLiteral("SII"), QColor(200, 70, 0), Qt::white},
    };
    const int count = int(std::size(filters));
    for (int i = 0; i < count; ++i) {
        const qreal angle = qDegreesToRadians(-90.0 + i * 360.0 / count);
        drawFilter(painter, centre + QPointF(qCos(angle), qSin(angle)) * 63, filters[i]);
    }

    QRadialGradient hub(centre - QPointF(4, 4), 20);
    hub.setColorAt(0, QColor(170, 175, 184));
    hub.setColorAt(1, QColor(60, 63, 68));
    painter.fillPath(circle(centre, 15), hub);
    painter.fillPath(circle(centre, 4), QColor(25, 25, 28));
}

void flatBox(QPainter &painter)
{
    drawBoxShadow(painter);
    drawCable(painter);
    drawBoxSide(painter);
    drawBoxLabel(painter);
    drawBoxFace(painter);
}

} // namespace artwork
