// Measuring test frames: FITS files as cameras write them (8/16/32-bit, float, BZERO/BSCALE, colour mosaics),
// measured over the centre only, and files that are not frames at all.
#include "fitsframe.h"
#include "flatmodel.h"

#include <fitsio.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <functional>

namespace {

struct Keys
{
    QString bayer;
    int xOffset = 0;
    int yOffset = 0;
    QString filter;
    double exposure = -1;
};

// A FITS image through cfitsio; `value` gives each pixel's physical value (BZERO/BSCALE applied).
bool writeImage(const QString &path, int bitpix, double zero, double scale, long width, long height,
    const std::function<double(long, long)> &value, const Keys &keys = Keys{})
{
    fitsfile *file = nullptr;
    int status = 0;
    long axes[2] = {width, height};
    fits_create_file(&file, ("!" + path).toUtf8().constData(), &status);
    fits_create_img(file, bitpix, 2, axes, &status);
    if (zero != 0 || scale != 1) {
        fits_update_key(file, TDOUBLE, "BZERO", &zero, nullptr, &status);
        fits_update_key(file, TDOUBLE, "BSCALE", &scale, nullptr, &status);
        fits_set_bscale(file, scale, zero, &status);
    }
    if (!keys.bayer.isEmpty()) {
        QByteArray pattern = keys.bayer.toLatin1();
        int x = keys.xOffset, y = keys.yOffset;
        fits_update_key(file, TSTRING, "BAYERPAT", pattern.data(), nullptr, &status);
        fits_update_key(file, TINT, "XBAYROFF", &x, nullptr, &status);
        fits_update_key(file, TINT, "YBAYROFF", &y, nullptr, &status);
    }
    if (!keys.filter.isEmpty()) {
        QByteArray filter = keys.filter.toUtf8();
        fits_update_key(file, TSTRING, "FILTER", filter.data(), nullptr, &status);
    }
    if (keys.exposure >= 0) {
        double exposure = keys.exposure;
        fits_update_key(file, TDOUBLE, "EXPOSURE", &exposure, nullptr, &status);
    }
    std::vector<double> pixels;
    for (long y = 0; y < height; ++y) {
        for (long x = 0; x < width; ++x)
            pixels.push_back(value(x, y));
    }
    fits_write_img(file, TDOUBLE, 1, LONGLONG(pixels.size()), pixels.data(), &status);
    fits_close_file(file, &status);
    return status == 0;
}

bool inCentre(long x, long y, long width, long height)
{
    return x >= width / 4 && x < width / 4 + width / 2 && y >= height / 4 && y < height / 4 + height / 2;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray modelFrame()
{
    const auto bytes = flatmodel::renderFits(flatmodel::namedBox("gamma"), flatmodel::CameraModel{}, "Red", 150, 2, 1);
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), int(bytes.size()));
}

int colourIndex(QChar colour)
{
    return colour == 'R' ? 0 : colour == 'G' ? 1 : 2;
}

// A header of the image's HDU (the first with an image), as text; "" when missing.
QString headerValue(const QString &path, const char *key)
{
    fitsfile *file = nullptr;
    int status = 0;
    fits_open_image(&file, path.toUtf8().constData(), READONLY, &status);
    char value[FLEN_VALUE] = {};
    fits_read_key(file, TSTRING, key, value, nullptr, &status);
    int closing = 0;
    if (file)
        fits_close_file(file, &closing);
    return status ? QString() : QString::fromLatin1(value).trimmed();
}

flatframes::FrameHeaders flatHeaders()
{
    flatframes::FrameHeaders headers;
    headers.imageType = "Flat Field";
    headers.filter = "H_Alpha";
    headers.exposure = 3.2;
    headers.lampLevel = 40;
    headers.dateObs = "2026-12-01T21:04:05.123";
    return headers;
}

} // namespace

class FitsFrameTest : public QObject
{
    Q_OBJECT

private slots:
    void dataRange_data();
    void dataRange();
    void modelFrames_data();
    void modelFrames();
    void colourMosaic_data();
    void colourMosaic();
    void saturation_data();
    void saturation();
    void badFiles_data();
    void badFiles();

private:
    QTemporaryDir folder;
};

void FitsFrameTest::dataRange_data()
{
    QTest::addColumn<int>("bitpix");
    QTest::addColumn<double>("zero");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("centre");
    QTest::addColumn<double>("edges");
    QTest::addColumn<double>("figure");

    QTest::newRow("8-bit") << 8 << 0.0 << 1.0 << 200.0 << 255.0 << 200 / 255.0;
    QTest::newRow("16-bit unsigned, BZERO 32768") << 16 << 32768.0 << 1.0 << 32768.0 << 65535.0 << 32768 / 65535.0;
    QTest::newRow("16-bit signed") << 16 << 0.0 << 1.0 << 16384.0 << 32767.0 << 16384 / 32767.0;
    QTest::newRow("16-bit, BSCALE 2") << 16 << 0.0 << 2.0 << 16384.0 << 65534.0 << 16384 / 65534.0;
    QTest::newRow("32-bit signed") << 32 << 0.0 << 1.0 << 1073741824.0 << 2147483647.0 << 1073741824 / 2147483647.0;
    QTest::newRow("32-bit unsigned, BZERO 2^31") << 32 << 2147483648.0 << 1.0 << 3e9 << 4294967295.0
                                                 << 3e9 / 4294967295.0;
    QTest::newRow("float within 0..1") << -32 << 0.0 << 1.0 << 0.3 << 1.0 << 0.3;
    QTest::newRow("float on the 16-bit scale") << -32 << 0.0 << 1.0 << 30000.0 << 65535.0 << 30000 / 65535.0;
    QTest::newRow("double within 0..1") << -64 << 0.0 << 1.0 << 0.42 << 1.0 << 0.42;
}

// The figure is the centre's median as a share of the data range; the edges (here at full scale) do not count.
void FitsFrameTest::dataRange()
{
    QFETCH(int, bitpix);
    QFETCH(double, zero);
    QFETCH(double, scale);
    QFETCH(double, centre);
    QFETCH(double, edges);
    QFETCH(double, figure);

    const QString path = folder.filePath(QString("range%1.fits").arg(QTest::currentDataTag()).remove(' '));
    const long width = 64, height = 48;
    QVERIFY(writeImage(path, bitpix, zero, scale, width, height,
        [&](long x, long y) { return inCentre(x, y, width, height) ? centre : edges; }));

    const auto measured = flatframes::measureFitsFile(path.toStdString());
    QVERIFY2(measured.ok, measured.error.c_str());
    QVERIFY2(std::abs(measured.figure - figure) < 1e-6, qPrintable(QString::number(measured.figure, 'g', 10)));
    QCOMPARE(measured.channels.size(), std::size_t(1));
    QVERIFY(!measured.saturated);
    QCOMPARE(measured.width, width);
    QCOMPARE(measured.height, height);
}

void FitsFrameTest::modelFrames_data()
{
    QTest::addColumn<int>("bitpix");
    QTest::addColumn<QString>("bayer");
    QTest::addColumn<double>("vignetting");
    QTest::addColumn<int>("level");
    QTest::addColumn<double>("pwmHz"); // the panel's PWM, read by a rolling shutter; 0: a steady light
    QTest::addColumn<bool>("bands");

    QTest::newRow("8-bit mono") << 8 << "" << 0.15 << 150 << 0.0 << false;
    QTest::newRow("16-bit mono") << 16 << "" << 0.15 << 150 << 0.0 << false;
    QTest::newRow("32-bit mono") << 32 << "" << 0.15 << 150 << 0.0 << false;
    QTest::newRow("float mono") << -32 << "" << 0.15 << 150 << 0.0 << false;
    QTest::newRow("16-bit mono, strong vignetting") << 16 << "" << 0.6 << 150 << 0.0 << false;
    QTest::newRow("16-bit RGGB") << 16 << "RGGB" << 0.15 << 150 << 0.0 << false;
    QTest::newRow("8-bit GRBG") << 8 << "GRBG" << 0.15 << 150 << 0.0 << false;
    QTest::newRow("float BGGR") << -32 << "BGGR" << 0.15 << 150 << 0.0 << false;
    QTest::newRow("16-bit mono, clipped") << 16 << "" << 0.15 << 255 << 0.0 << false;
    QTest::newRow("16-bit mono, slow PWM: bands") << 16 << "" << 0.15 << 150 << 71.3 << true;
    QTest::newRow("8-bit mono, slow PWM: bands") << 8 << "" << 0.15 << 150 << 71.3 << true;
    QTest::newRow("16-bit RGGB, slow PWM: bands") << 16 << "RGGB" << 0.15 << 150 << 71.3 << true;
    QTest::newRow("float mono, slow PWM, strong vignetting: bands") << -32 << "" << 0.6 << 150 << 71.3 << true;
    QTest::newRow("16-bit mono, 2 kHz PWM: no bands") << 16 << "" << 0.15 << 150 << 2000.0 << false;
    // Every row's window holds whole cycles of the lamp: each is lit alike.
    QTest::newRow("16-bit mono, 50 Hz PWM over 1 s: no bands") << 16 << "" << 0.15 << 150 << 50.0 << false;
    QTest::newRow("16-bit mono, slow PWM at full level: no bands") << 16 << "" << 0.15 << 255 << 71.3 << false;
}

// Frames of the model camera: the figure is what the model gives for the centre, with the headers it wrote; bands
// are found where a PWM lamp lights the rows of a rolling shutter unevenly, and the noise is the camera's.
void FitsFrameTest::modelFrames()
{
    QFETCH(int, bitpix);
    QFETCH(QString, bayer);
    QFETCH(double, vignetting);
    QFETCH(int, level);
    QFETCH(double, pwmHz);
    QFETCH(bool, bands);

    auto box = flatmodel::namedBox("gamma");
    box.pwmFrequency = pwmHz;
    flatmodel::CameraModel camera;
    camera.bitpix = bitpix;
    camera.bayer = bayer.toStdString();
    camera.vignetting = vignetting;
    camera.lineTime = 0.0003;
    const auto bytes = flatmodel::renderFits(box, camera, "Luminance", level, 1.0, 3);
    const auto measured = flatframes::measureFitsMemory(bytes.data(), bytes.size());

    QVERIFY2(measured.ok, measured.error.c_str());
    const double expected = flatmodel::expectedFigure(box, camera, "Luminance", level, 1.0);
    QVERIFY2(std::abs(measured.figure - expected) < (pwmHz > 0 ? 0.012 : 0.006),
        qPrintable(QString("%1 against %2").arg(measured.figure).arg(expected)));
    QCOMPARE(measured.saturated, expected >= 1.0);
    QCOMPARE(QString::fromStdString(measured.bayerPattern), bayer);
    QCOMPARE(int(measured.channels.size()), bayer.isEmpty() ? 1 : 3);
    QCOMPARE(measured.filter, std::string("Luminance"));
    QCOMPARE(measured.exposure, 1.0);

    const QString banding = QString("banding %1: spread %2, noise %3").arg(measured.banding).arg(measured.rowSpread)
                                .arg(measured.rowNoise);
    QVERIFY2(bands ? measured.banding > 1.5 : measured.banding < 0.7, qPrintable(banding));
    if (measured.saturated)
        return;
    // A row mean of the centre holds half a row (a pair of half rows of a colour frame).
    const double rowPixels = camera.width / 2.0 * (bayer.isEmpty() ? 1 : 2);
    QVERIFY2(std::abs(measured.rowNoise / (camera.noise / std::sqrt(rowPixels)) - 1) < 0.15, qPrintable(banding));

    // Saved as a frame of the flat set: the same image, with the set's headers.
    const QString path = folder.filePath("saved.fits");
    std::string error;
    QVERIFY2(flatframes::saveFitsFrame(bytes.data(), bytes.size(), path.toStdString(), flatHeaders(), error),
        error.c_str());
    QVERIFY(!QFile::exists(path + ".part"));
    const auto saved = flatframes::measureFitsFile(path.toStdString());
    QVERIFY2(saved.ok, saved.error.c_str());
    QCOMPARE(saved.figure, measured.figure);
    QCOMPARE(saved.banding, measured.banding);
    QCOMPARE(saved.width, camera.width);
    QCOMPARE(QString::fromStdString(saved.bayerPattern), bayer);
    QCOMPARE(headerValue(path, "IMAGETYP"), QStringLiteral("Flat Field"));
    QCOMPARE(headerValue(path, "FILTER"), QStringLiteral("H_Alpha"));
    QCOMPARE(headerValue(path, "EXPTIME").toDouble(), 3.2);
    QCOMPARE(headerValue(path, "LAMPLVL"), QStringLiteral("40"));
    QCOMPARE(headerValue(path, "DATE-OBS"), QStringLiteral("2026-12-01T21:04:05.123"));
}

void FitsFrameTest::colourMosaic_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("cameraPattern");
    QTest::addColumn<int>("xOffset");
    QTest::addColumn<int>("yOffset");

    QTest::newRow("BAYERPAT RGGB") << "RGGB" << "RGGB" << "" << 0 << 0;
    QTest::newRow("BAYERPAT in lower case") << "GBRG" << "gbrg" << "" << 0 << 0;
    QTest::newRow("the camera's CFA, no header") << "BGGR" << "" << "BGGR" << 0 << 0;
    QTest::newRow("the camera's CFA over the header") << "GRBG" << "RGGB" << "GRBG" << 0 << 0;
    QTest::newRow("XBAYROFF 1") << "RGGB" << "RGGB" << "" << 1 << 0;
    QTest::newRow("YBAYROFF 1") << "RGGB" << "RGGB" << "" << 0 << 1;
    QTest::newRow("both offsets") << "BGGR" << "BGGR" << "" << 1 << 1;
}

// Each colour channel measured on its own; the brightest is the figure.
void FitsFrameTest::colourMosaic()
{
    QFETCH(QString, pattern);
    QFETCH(QString, header);
    QFETCH(QString, cameraPattern);
    QFETCH(int, xOffset);
    QFETCH(int, yOffset);

    const double levels[3] = {12000, 30000, 6000};
    const QString path = folder.filePath("mosaic.fits");
    Keys keys;
    keys.bayer = header;
    keys.xOffset = xOffset;
    keys.yOffset = yOffset;
    QVERIFY(writeImage(path, 16, 32768, 1, 60, 40,
        [&](long x, long y) { return levels[colourIndex(pattern[int(((y + yOffset) % 2) * 2 + (x + xOffset) % 2)])]; },
        keys));

    const auto measured = flatframes::measureFitsFile(path.toStdString(), cameraPattern.toStdString());
    QVERIFY2(measured.ok, measured.error.c_str());
    QCOMPARE(QString::fromStdString(measured.bayerPattern), pattern);
    QCOMPARE(measured.channels, (std::vector<double>{12000 / 65535.0, 30000 / 65535.0, 6000 / 65535.0}));
    QCOMPARE(measured.figure, 30000 / 65535.0);
}

void FitsFrameTest::saturation_data()
{
    QTest::addColumn<double>("median");
    QTest::addColumn<double>("clippedShare");
    QTest::addColumn<bool>("saturated");

    QTest::newRow("half scale") << 0.5 << 0.0 << false;
    QTest::newRow("half scale, a few hot pixels") << 0.5 << 0.01 << false;
    QTest::newRow("half scale, 5% clipped") << 0.5 << 0.05 << true;
    QTest::newRow("median at 0.985") << 0.985 << 0.0 << true;
    QTest::newRow("all at full scale") << 1.0 << 1.0 << true;
}

void FitsFrameTest::saturation()
{
    QFETCH(double, median);
    QFETCH(double, clippedShare);
    QFETCH(bool, saturated);

    const long width = 200, height = 100; // a centre of 100 x 50 pixels
    const long clippedPixels = std::lround(clippedShare * 5000);
    const QString path = folder.filePath("saturation.fits");
    QVERIFY(writeImage(path, 16, 32768, 1, width, height, [&](long x, long y) {
        const long index = (y - height / 4) * (width / 2) + (x - width / 4);
        if (!inCentre(x, y, width, height))
            return 0.0;
        return index < clippedPixels ? 65535.0 : std::round(median * 65535);
    }));
    const auto measured = flatframes::measureFitsFile(path.toStdString());
    QVERIFY2(measured.ok, measured.error.c_str());
    QCOMPARE(measured.saturated, saturated);
}

void FitsFrameTest::badFiles_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("error");

    const QByteArray frame = modelFrame();
    QTest::newRow("text") << QByteArray("Level 143, exposure 2 s\n") << "not a FITS file";
    QTest::newRow("empty") << QByteArray() << "not a FITS file";
    QTest::newRow("cut in the image") << frame.left(frame.size() * 7 / 10) << "truncated";
    QTest::newRow("cut in the header") << frame.left(1000) << "truncated";
    QTest::newRow("cut on a record's end") << frame.left(2880 * 20) << "truncated";
}

// A clear error, never a figure made up from zeros.
void FitsFrameTest::badFiles()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, error);

    const QString path = folder.filePath("bad.fits");
    writeBytes(path, contents);
    const auto fromFile = flatframes::measureFitsFile(path.toStdString());
    QVERIFY(!fromFile.ok);
    QVERIFY2(QString::fromStdString(fromFile.error).contains(error), fromFile.error.c_str());
    QVERIFY2(QString::fromStdString(fromFile.error).startsWith(path), fromFile.error.c_str());

    const auto fromMemory = flatframes::measureFitsMemory(contents.constData(), std::size_t(contents.size()));
    QVERIFY(!fromMemory.ok);
    QVERIFY2(QString::fromStdString(fromMemory.error).contains(error), fromMemory.error.c_str());

    const auto missing = flatframes::measureFitsFile(folder.filePath("missing.fits").toStdString());
    QVERIFY(!missing.ok);
    QVERIFY(QString::fromStdString(missing.error).contains("missing.fits"));

    // Never saved as a frame of the flat set: the error names the file, and no file is left, whole or in part.
    const QString saved = folder.filePath("flat_001.fits");
    std::string saveError;
    QVERIFY(!flatframes::saveFitsFrame(contents.constData(), std::size_t(contents.size()), saved.toStdString(),
        flatHeaders(), saveError));
    QVERIFY2(QString::fromStdString(saveError).startsWith(saved + ": "), saveError.c_str());
    QVERIFY2(QString::fromStdString(saveError).contains(error), saveError.c_str());
    QVERIFY(!QFile::exists(saved));
    QVERIFY(!QFile::exists(saved + ".part"));
}

QTEST_GUILESS_MAIN(FitsFrameTest)
#include "tst_fitsframe.moc"
