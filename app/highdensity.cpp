#include "highdensity.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cmath>

void enableHighDensityScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // Qt 5 rounds 1.5 to 2 and 1.25 to 1 by default: the window would be too large or too small on those desktops.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

namespace {

struct Rendering {
    qreal ratio;
    QString file;
};

// "name@1.5x.png" for "name.png" and 1.5.
QString renderingFile(const QString &file, qreal ratio)
{
    QString denser = file;
    denser.insert(file.lastIndexOf(QLatin1Char('.')), QStringLiteral("@%1x").arg(ratio));
    return denser;
}

// X11 desktops give their density in whole dots per inch over whole millimetres: a 150% screen can come out as
// 1.4985. A rendering this close is drawn as it is; resampling it for the difference would only blur it.
const qreal closeEnough = 0.02;

Rendering bestRendering(const QString &file, qreal devicePixelRatio)
{
    Rendering best{1, file};
    for (qreal ratio : {1.5, 2.0}) {
        if (best.ratio + closeEnough >= devicePixelRatio)
            break;
        const QString denser = renderingFile(file, ratio);
        if (QFile::exists(denser))
            best = {ratio, denser};
    }
    return best;
}

} // namespace

QPixmap pictureForDensity(const QString &file, qreal devicePixelRatio)
{
    const Rendering rendering = bestRendering(file, devicePixelRatio);
    QImage image(rendering.file);
    // Below the plain picture's density Qt scales it down as it draws it, as it always has.
    const bool drawnAsItIs = qAbs(rendering.ratio - devicePixelRatio) <= closeEnough || devicePixelRatio < 1;
    if (drawnAsItIs) {
        image.setDevicePixelRatio(rendering.ratio);
        return QPixmap::fromImage(image);
    }
    const QSizeF plain = QSizeF(image.size()) / rendering.ratio;
    const QSize target(std::lround(plain.width() * devicePixelRatio), std::lround(plain.height() * devicePixelRatio));
    image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    image.setDevicePixelRatio(devicePixelRatio);
    return QPixmap::fromImage(image);
}
