// velmora-drawpictures: draws every picture of the program with QPainter.
//
// It writes, below the repository root given as its one argument:
//   ui/icons/*.png, ui/images/*.png   the pictures compiled into the window (ui/resources.qrc)
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

std::vector<Picture> windowPictures()
{
    const QSizeF icon(96, 96);
    const QSizeF on(666, 300);
    const QSizeF off(670, 301);
    return {
        {"ui/icons/velmora_logo.png", {48, 48}, {256, 256}, artwork::programLogo},
        {"ui/icons/flat.png", {96, 96}, icon, turnedForSideTab(icons::lightBulb)},
        {"ui/icons/filters.png", {96, 96}, icon, turnedForSideTab(icons::threeCircles)},
        {"ui/icons/settings.png", {96, 96}, icon, turnedForSideTab(icons::gearWheel)},
        {"ui/icons/info.png", {96, 96}, icon, turnedForSideTab(icons::infoLetter)},
        {"ui/icons/process.png", {96, 96}, icon, turnedForSideTab(icons::framedLandscape)},
        {"ui/icons/controller.png", {96, 96}, icon, turnedForSideTab(icons::remoteControl)},
        {"ui/icons/qt_logo.png", {48, 35}, {48, 35}, icons::toolkitBadge},
        {"ui/icons/combo_connect.png", {96, 96}, icon, icons::downTriangle},
        {"ui/icons/plus.png", {103, 103}, {103, 103}, icons::plusSign},
        {"ui/icons/minus.png", {103, 33}, {103, 33}, icons::minusBar},
        {"ui/icons/on.png", {666, 300}, on, switches::dayOn},
        {"ui/icons/off.png", {670, 301}, off, switches::dayOff},
        {"ui/icons/disabled.png", {670, 301}, off, switches::disabled},
        {"ui/icons/red_on.png", {666, 300}, on, switches::nightOn},
        {"ui/icons/red_off.png", {670, 301}, off, switches::nightOff},
        {"ui/images/velmora_banner.png", {334, 59}, {334, 59}, artwork::productBanner},
        {"ui/images/filters.png", {200, 200}, {200, 200}, artwork::filterWheel},
        {"ui/images/flat.png", {280, 280}, {280, 280}, artwork::flatBox},
    };
}

std::vector<Picture> desktopIcons()
{
    std::vector<Picture> pictures;
    for (int side : {16, 32, 48, 64, 128, 256}) {
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
    for (const auto &set : {windowPictures(), desktopIcons()})
        for (const Picture &picture : set)
            allWritten = write(root, picture) && allWritten;
    return allWritten ? 0 : 1;
}
