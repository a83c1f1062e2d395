// velmora-drawpictures: draws every picture of the program with QPainter.
//
// It writes, below the repository root given as its one argument:
//   ui/icons/*.png, ui/images/*.png   the pictures compiled into the window (ui/resources.qrc)
//   ui/icons/*@2x.png, ui/images/*@2x.png, ui/images/*@1.5x.png   the same pictures drawn for 200% and 150% screens
//   packaging/icons/hicolor/<n>x<n>/apps/velmora-flat.png   the program icon for the desktop
// The PNGs are committed: they are the sources of the build, so only run this after changing a drawing.
//
// To regenerate everything, including the Windows icon packaging/windows/velmora-flat.ico, run from the
// repository root:
//   tools/drawpictures/regenerate.sh
// (it builds this program on its own in a temporary directory, runs it on the repository and assembles the .ico
// with ImageMagick's convert). Text is drawn with the fonts "URW Gothic" and "DejaVu Sans" (Debian packages
// fonts-urw-base35 and fonts-dejavu-core); other fonts change the lettering.

#include "pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

#include <functional>
#include <vector>

namespace {

struct Picture {
    QString path;     // relative to the repository root
    QSize size;       // pixels written
    QSizeF design;    // the drawing's own coordinate space
    std::function<void(QPainter &)> draw;
};

// The screen densities a picture is also drawn for, beyond the plain one.
enum class Denser {
    None,            // the plain picture is already larger than the place it fills at 200%
    Double,          // name@2x.png, which Qt's icons find and scale smoothly for 150%
    OneAndAHalf,     // name@2x.png and name@1.5x.png, for pictures the window draws pixel for pixel
};

// The tab bar stands on the window's left edge, and Qt turns the contents of such tabs, icon included, a quarter
// turn anticlockwise. The tab icons are therefore stored turned a quarter turn clockwise, so that they stand upright
// on screen.
std::function<void(QPainter &)> turnedForSideTab(void (*draw)(QPainter &))
{
    return [draw](QPainter &painter) {
        painter.translate(48, 48);
        painter.rotate(90);
        painter.translate(-48, -48);
        draw(painter);
    };
}

struct WindowPicture {
    Picture plain;
    Denser denser;
};

// The tab icons (96 pixels for a 40-pixel place), the combo box arrow, the spin box signs and the lamp switches
// (666 x 300 for a 120 x 100 place) are drawn larger than the window shows them even at 200%: Qt's icons pick the
// smallest rendering that is large enough, so a @2x file of these would never be used.
std::vector<WindowPicture> windowPictures()
{
    const QSizeF icon(96, 96);
    const QSizeF on(666, 300);
    const QSizeF off(670, 301);
    const Denser none = Denser::None;
    return {
        {{"ui/icons/velmora_logo.png", {48, 48}, {256, 256}, artwork::programLogo}, Denser::Double},
        {{"ui/icons/flat.png", {96, 96}, icon, turnedForSideTab(icons::lightBulb)}, none},
        {{"ui/icons/filters.png", {96, 96}, icon, turnedForSideTab(icons::threeCircles)}, none},
        {{"ui/icons/settings.png", {96, 96}, icon, turnedForSideTab(icons::gearWheel)}, none},
        {{"ui/icons/info.png", {96, 96}, icon, turnedForSideTab(icons::infoLetter)}, none},
        {{"ui/icons/process.png", {96, 96}, icon, turnedForSideTab(icons::framedLandscape)}, none},
        {{"ui/icons/controller.png", {96, 96}, icon, turnedForSideTab(icons::remoteControl)}, none},
        {{"ui/icons/qt_logo.png", {48, 35}, {48, 35}, icons::toolkitBadge}, Denser::Double},
        {{"ui/icons/combo_connect.png", {96, 96}, icon, icons::downTriangle}, none},
        {{"ui/icons/plus.png", {103, 103}, {103, 103}, icons::plusSign}, none},
        {{"ui/icons/minus.png", {103, 33}, {103, 33}, icons::minusBar}, none},
        {{"ui/icons/on.png", {666, 300}, on, switches::dayOn}, none},
        {{"ui/icons/off.png", {670, 301}, off, switches::dayOff}, none},
        {{"ui/icons/disabled.png", {670, 301}, off, switches::disabled}, none},
        {{"ui/icons/red_on.png", {666, 300}, on, switches::nightOn}, none},
        {{"ui/icons/red_off.png", {670, 301}, off, switches::nightOff}, none},
        {{"ui/images/velmora_banner.png", {334, 59}, {334, 59}, artwork::productBanner}, Denser::OneAndAHalf},
        {{"ui/images/filters.png", {200, 200}, {200, 200}, artwork::filterWheel}, Denser::OneAndAHalf},
        {{"ui/images/flat.png", {280, 280}, {280, 280}, artwork::flatBox}, Denser::OneAndAHalf},
    };
}

// The same drawing for a screen of the given density: "name@2x.png" holds twice the pixels of "name.png".
Picture denserRendering(const Picture &plain, qreal ratio)
{
    Picture rendering = plain;
    const int dot = rendering.path.lastIndexOf(QLatin1Char('.'));
    rendering.path.insert(dot, QStringLiteral("@%1x").arg(ratio));
    rendering.size = QSize(qRound(plain.size.width() * ratio), qRound(plain.size.height() * ratio));
    return rendering;
}

std::vector<Picture> windowRenderings()
{
    std::vector<Picture> renderings;
    for (const WindowPicture &picture : windowPictures()) {
        renderings.push_back(picture.plain);
        if (picture.denser != Denser::None)
            renderings.push_back(denserRendering(picture.plain, 2));
        if (picture.denser == Denser::OneAndAHalf)
            renderings.push_back(denserRendering(picture.plain, 1.5));
    }
    return renderings;
}

std::vector<Picture> desktopIcons()
{
    std::vector<Picture> pictures;
    for (int side : {16, 32, 48, 64, 128, 256, 512}) {
        pictures.push_back({QStringLiteral("packaging/icons/hicolor/%1x%1/apps/velmora-flat.png").arg(side),
                            {side, side}, {256, 256}, artwork::programLogo});
    }
    return pictures;
}

QImage render(const Picture &picture)
{
    QImage image(picture.size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    painter.scale(picture.size.width() / picture.design.width(), picture.size.height() / picture.design.height());
    picture.draw(painter);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool write(const QDir &root, const Picture &picture)
{
    const QString path = root.filePath(picture.path);
    QDir().mkpath(QFileInfo(path).path());
    if (!render(picture).save(path, "PNG")) {
        QTextStream(stderr) << "cannot write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << picture.path << ' ' << picture.size.width() << 'x' << picture.size.height() << '\n';
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        QTextStream(stderr) << "usage: velmora-drawpictures <repository root>\n";
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    bool allWritten = true;
    for (const auto &set : {windowRenderings(), desktopIcons()})
        for (const Picture &picture : set)
            allWritten = write(root, picture) && allWritten;
    return allWritten ? 0 : 1;
}
