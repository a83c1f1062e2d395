#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QtTest>

namespace {

const QString packagingDir = QStringLiteral(VELMORA_PACKAGING_DIR);

// One entry of the directory at the start of an .ico file.
struct IconEntry {
    quint8 width = 0;  // 0 stands for 256
    quint8 height = 0;
    quint8 colourCount = 0;
    quint8 reserved = 0;
    quint16 planes = 0;
    quint16 bitCount = 0;
    quint32 size = 0;
    quint32 offset = 0;
};

struct IconFile {
    quint16 reserved = 0xffff;
    quint16 type = 0;
    QVector<IconEntry> entries;
    QByteArray bytes;
};

IconFile readIconFile(const QString &path)
{
    IconFile icon;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return icon;
    icon.bytes = file.readAll();
    QDataStream stream(icon.bytes);
    stream.setByteOrder(QDataStream::LittleEndian);
    quint16 count = 0;
    stream >> icon.reserved >> icon.type >> count;
    for (int i = 0; i < count && stream.status() == QDataStream::Ok; ++i) {
        IconEntry entry;
        stream >> entry.width >> entry.height >> entry.colourCount >> entry.reserved >> entry.planes >> entry.bitCount
            >> entry.size >> entry.offset;
        icon.entries.append(entry);
    }
    return icon;
}

int side(quint8 stored)
{
    return stored == 0 ? 256 : stored;
}

// Size and colour depth that the image data itself states: a PNG, or a bitmap whose height counts the
// colour rows and the mask rows.
struct StoredImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
};

StoredImage storedImage(const QByteArray &data)
{
    StoredImage image;
    if (data.startsWith("\x89PNG")) {
        const QImage png = QImage::fromData(data, "PNG");
        image.width = png.width();
        image.height = png.height();
        image.bitsPerPixel = png.hasAlphaChannel() ? 32 : 24;
        return image;
    }
    QDataStream stream(data);
    stream.setByteOrder(QDataStream::LittleEndian);
    quint32 headerSize = 0;
    qint32 width = 0;
    qint32 doubledHeight = 0;
    quint16 planes = 0;
    quint16 bitCount = 0;
    stream >> headerSize >> width >> doubledHeight >> planes >> bitCount;
    if (stream.status() == QDataStream::Ok && headerSize >= 40) {
        image.width = width;
        image.height = doubledHeight / 2;
        image.bitsPerPixel = bitCount;
    }
    return image;
}

} // namespace

class TestPackagingIcons : public QObject
{
    Q_OBJECT

private slots:
    void windowsIconDirectory();
    void windowsIconImage_data();
    void windowsIconImage();
    void desktopIcon_data();
    void desktopIcon();

private:
    const QString iconPath = packagingDir + QStringLiteral("/windows/velmora-flat.ico");
};

void TestPackagingIcons::windowsIconDirectory()
{
    const IconFile icon = readIconFile(iconPath);
    QVERIFY2(!icon.bytes.isEmpty(), qPrintable(iconPath));
    QCOMPARE(icon.reserved, quint16(0));
    QCOMPARE(icon.type, quint16(1));
    QCOMPARE(icon.entries.size(), 6);
}

void TestPackagingIcons::windowsIconImage_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("expectedSide");
    const int sides[] = {256, 128, 64, 48, 32, 16};
    for (int index = 0; index < 6; ++index)
        QTest::addRow("%dx%d", sides[index], sides[index]) << index << sides[index];
}

void TestPackagingIcons::windowsIconImage()
{
    QFETCH(int, index);
    QFETCH(int, expectedSide);
    const IconFile icon = readIconFile(iconPath);
    QVERIFY(index < icon.entries.size());
    const IconEntry entry = icon.entries.at(index);
    QCOMPARE(side(entry.width), expectedSide);
    QCOMPARE(side(entry.height), expectedSide);
    QCOMPARE(entry.bitCount, quint16(32));
    QCOMPARE(entry.planes, quint16(1));
    QVERIFY(quint64(entry.offset) + entry.size <= quint64(icon.bytes.size()));

    const StoredImage image = storedImage(icon.bytes.mid(entry.offset, entry.size));
    QCOMPARE(image.width, expectedSide);
    QCOMPARE(image.height, expectedSide);
    QCOMPARE(image.bitsPerPixel, 32);
}

void TestPackagingIcons::desktopIcon_data()
{
    QTest::addColumn<int>("expectedSide");
    for (int side : {16, 32, 48, 64, 128, 256, 512})
        QTest::addRow("%dx%d", side, side) << side;
}

void TestPackagingIcons::desktopIcon()
{
    QFETCH(int, expectedSide);
    const QString path =
        packagingDir + QStringLiteral("/icons/hicolor/%1x%1/apps/velmora-flat.png").arg(expectedSide);
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), QSize(expectedSide, expectedSide));
    QVERIFY(image.hasAlphaChannel());
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0); // a rounded badge: the corners stay transparent
}

QTEST_GUILESS_MAIN(TestPackagingIcons)

#include "tst_packagingicons.moc"
