#include "testmain.h"

#include <QDirIterator>
#include <QImage>
#include <QResource>
#include <QSet>

// The pictures compiled into the window: each is there, stored without compression, with its size and
// something visible in it; the renderings for denser screens beside them.
class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void picture_data();
    void picture();
    void noOtherPictures();
};

void TestResources::picture_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    const struct {
        const char *path;
        QSize size;
    } pictures[] = {
        {":/icons/velmora_logo.png", {48, 48}},   {":/icons/flat.png", {96, 96}},
        {":/icons/filters.png", {96, 96}},        {":/icons/settings.png", {96, 96}},
        {":/icons/info.png", {96, 96}},           {":/icons/process.png", {96, 96}},
        {":/icons/controller.png", {96, 96}},     {":/icons/qt_logo.png", {48, 35}},
        {":/icons/combo_connect.png", {96, 96}},  {":/icons/plus.png", {103, 103}},
        {":/icons/minus.png", {103, 33}},         {":/icons/on.png", {666, 300}},
        {":/icons/off.png", {670, 301}},          {":/icons/disabled.png", {670, 301}},
        {":/icons/red_on.png", {666, 300}},       {":/icons/red_off.png", {670, 301}},
        {":/images/velmora_banner.png", {334, 59}}, {":/images/filters.png", {200, 200}},
        {":/images/flat.png", {280, 280}},
        // Drawn again for 200% screens (and, where the window draws them pixel for pixel, for 150% ones).
        {":/icons/velmora_logo@2x.png", {96, 96}}, {":/icons/qt_logo@2x.png", {96, 70}},
        {":/images/velmora_banner@2x.png", {668, 118}}, {":/images/velmora_banner@1.5x.png", {501, 89}},
        {":/images/filters@2x.png", {400, 400}},  {":/images/filters@1.5x.png", {300, 300}},
        {":/images/flat@2x.png", {560, 560}},     {":/images/flat@1.5x.png", {420, 420}},
    };
    for (const auto &picture : pictures)
        QTest::newRow(picture.path) << QString::fromLatin1(picture.path) << picture.size;
}

static bool hasVisiblePixels(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x)
            if (qAlpha(argb.pixel(x, y)) > 0)
                return true;
    return false;
}

void TestResources::picture()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    QVERIFY(hasVisiblePixels(image));
    QCOMPARE(QResource(path).compressionAlgorithm(), QResource::NoCompression);
}

void TestResources::noOtherPictures()
{
    QSet<QString> found;
    for (const QString &prefix : {QStringLiteral(":/icons"), QStringLiteral(":/images")}) {
        QDirIterator files(prefix, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext())
            found.insert(files.next());
    }
    QCOMPARE(found.size(), 19 + 8);
}

VELMORA_TEST_MAIN(TestResources)

#include "tst_resources.moc"
