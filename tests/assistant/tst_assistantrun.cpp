// The flat assistant's run as a script drives it: Debian's indiserver with the project's INDI driver on the box
// simulator, indi_simulator_wheel and the model camera; the table file and what the devices show afterwards.
#include "assistantrig.h"
#include "fitsframe.h"
#include "flatmodel.h"

#include <fitsio.h>

#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void writeLines(const QString &path, const QStringList &lines)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
}

QString tableLine(const FilterResult &result)
{
    return QStringLiteral("CCD 1x1 %1 %2 %3")
        .arg(result.tableFilter, QString::number(result.exposure, 'g', 4))
        .arg(result.level);
}

// Lines that were in the table before the run; the run must keep them as they were.
const QStringList oldLines = {QStringLiteral("DSLR 800 Red 1 11"), QStringLiteral("CCD 2x2 Luminance 3 40"),
                              QStringLiteral("CCD 1x1 Red 9 99")};

int totalFrames(const QList<FilterResult> &results)
{
    int frames = 0;
    for (const FilterResult &result : results)
        frames += result.frames;
    return frames;
}

// The frame type of each exposure the model camera took since the rig was set up.
QStringList frameTypes(AssistantRig &rig)
{
    return rig.indi.value(AssistantRig::camera + ".EXPOSURES.FRAME_TYPES").split(',', Qt::SkipEmptyParts);
}

QStringList flats(int frames)
{
    QStringList types;
    for (int i = 0; i < frames; ++i)
        types.append(QStringLiteral("FLAT"));
    return types;
}

// The lamp the model camera saw at each exposure: "on" or "off".
QStringList lampAtExposures(AssistantRig &rig)
{
    return rig.indi.value(AssistantRig::camera + ".EXPOSURES.LAMP").split(',', Qt::SkipEmptyParts);
}

QStringList repeated(const QString &text, int times)
{
    QStringList list;
    for (int i = 0; i < times; ++i)
        list.append(text);
    return list;
}

// Every file under a folder, relative to it, sorted.
QStringList listing(const QString &folder)
{
    QStringList files;
    QDirIterator walk(folder, QDir::Files, QDirIterator::Subdirectories);
    while (walk.hasNext())
        files.append(QDir(folder).relativeFilePath(walk.next()));
    files.sort();
    return files;
}

// IMAGETYP, FILTER, EXPTIME, LAMPLVL and DATE-OBS of a saved frame; empty when it cannot be read.
QMap<QString, QString> headersOf(const QString &path)
{
    fitsfile *file = nullptr;
    int status = 0;
    fits_open_image(&file, QFile::encodeName(path).constData(), READONLY, &status);
    QMap<QString, QString> headers;
    for (const char *key : {"IMAGETYP", "FILTER", "EXPTIME", "LAMPLVL", "DATE-OBS"}) {
        char value[FLEN_VALUE] = {};
        int missing = status;
        fits_read_key(file, TSTRING, key, value, nullptr, &missing);
        if (!missing)
            headers.insert(QLatin1String(key), QString::fromLatin1(value).trimmed());
    }
    int closing = 0;
    if (file)
        fits_close_file(file, &closing);
    return headers;
}

// The files the flat set of these results makes: a folder per filter that reached its level, one for the darks.
QStringList flatSetFiles(const QList<FilterResult> &results, int perKind)
{
    QStringList files;
    QStringList exposures;
    for (const FilterResult &result : results) {
        if (!result.reached)
            continue;
        const QString exposure = QString::number(result.exposure, 'g', 4);
        for (int number = 1; number <= perKind; ++number)
            files.append(QStringLiteral("%1/flat_%1_%2s_%3.fits")
                             .arg(result.filter, exposure)
                             .arg(number, 3, 10, QLatin1Char('0')));
        if (!exposures.contains(exposure))
            exposures.append(exposure);
    }
    for (const QString &exposure : exposures)
        for (int number = 1; number <= perKind; ++number)
            files.append(QStringLiteral("darks/dark_%1s_%2.fits").arg(exposure).arg(number, 3, 10, QLatin1Char('0')));
    files.sort();
    return files;
}

} // namespace

class AssistantRunTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void wholeRun_data();
    void wholeRun();
    void faultsKeepWhatWasFound_data();
    void faultsKeepWhatWasFound();
    void everyFrameIsFlat_data();
    void everyFrameIsFlat();
    void wholeFlatSet_data();
    void wholeFlatSet();
    void stopSwitchesTheLampOff();
    void secondRunStartsFromTheLearnedCurve();
    void folderOfFrames_data();
    void folderOfFrames();
    void devicesListed();

private:
    // One rig serves the tests that need no other colour camera or faulty device; a lost box ends it.
    AssistantRig *rigFor(const RigSetup &setup = RigSetup());
    std::unique_ptr<AssistantRig> kept;
    std::unique_ptr<QTemporaryDir> files;
    QString table;
};

AssistantRig *AssistantRunTest::rigFor(const RigSetup &setup)
{
    QString problem;
    AssistantRig *rig = ::rigFor(kept, setup, problem);
    if (!rig)
        qWarning("the rig did not start: %s", qPrintable(problem));
    return rig;
}

void AssistantRunTest::init()
{
    files = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(files->filePath(QStringLiteral("data"))));
    table = files->filePath(QStringLiteral("flats.vfc"));
    writeLines(table, oldLines);
}

void AssistantRunTest::wholeRun_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("bayer");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<double>("minExposure"); // as the model sees it; 0 keeps the default 0.5 s
    QTest::addColumn<QStringList>("reached");
    QTest::addColumn<QString>("exposureMoves"); // "held", "longer" or "shorter" for the reached filters
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("lampOnBefore"); // the user left the lamp on: the run leaves it so
    QTest::addColumn<double>("pwmHz");      // the panel's PWM frequency; negative: the box's own
    QTest::addColumn<bool>("bands");        // the result lines say the frames banded below their exposure
    const QStringList broadband{"Red", "Green", "Blue", "Luminance"};
    QTest::newRow("LED panel, broadband filters at the asked exposure")
        << "measured-led" << "" << broadband << 0.0 << broadband << "held" << 0 << false << -1.0 << false;
    QTest::newRow("gamma panel, the wheel's short names") << "gamma" << "" << QStringList{"LPR", "Red"} << 0.0
                                                          << QStringList{"LPR", "Red"} << "held" << 0 << true << -1.0 << false;
    QTest::newRow("narrowband needs a longer exposure")
        << "measured-led" << "" << QStringList{"H_Alpha", "SII"} << 0.0 << QStringList{"H_Alpha", "SII"} << "longer" << 0 << false << -1.0 << false;
    QTest::newRow("too bright at its dimmest: a shorter exposure")
        << "bright" << "" << QStringList{"Luminance"} << 0.1 << QStringList{"Luminance"} << "shorter" << 0 << false << -1.0 << false;
    QTest::newRow("too bright even at the shortest exposure")
        << "bright" << "" << QStringList{"Luminance"} << 0.5 << QStringList() << "held" << 1 << false << -1.0 << false;
    QTest::newRow("narrowband out of reach within the longest exposure")
        << "dim" << "" << QStringList{"Red", "H_Alpha"} << 0.0 << QStringList{"Red"} << "longer" << 1 << false << -1.0 << false;
    QTest::newRow("colour camera: the brightest channel held to the target")
        << "measured-led" << "RGGB" << QStringList{"Luminance", "Blue"} << 0.0 << QStringList{"Luminance", "Blue"}
        << "held" << 0 << false << -1.0 << false;
    // A slow PWM bands the frames at 2 s: a longer exposure for the first filter, and the next starts there.
    QTest::newRow("PWM LED panel: banding found, longer exposures")
        << "pwm-led" << "" << QStringList{"Luminance", "Green"} << 0.0 << QStringList{"Luminance", "Green"} << "longer"
        << 0 << false << -1.0 << true;
    QTest::newRow("PWM LED panel, colour camera") << "pwm-led" << "RGGB" << QStringList{"Luminance"} << 0.0
                                                  << QStringList{"Luminance"} << "longer" << 0 << false << -1.0 << true;
    QTest::newRow("the same panel at 2 kHz: no banding") << "pwm-led" << "" << QStringList{"Luminance", "Green"} << 0.0
                                                         << QStringList{"Luminance", "Green"} << "held" << 0 << false
                                                         << 2000.0 << false;
}

// Every filter's result line, the table (the filters found replaced or added, every other line as it was), and
// the driver's per-filter presets that follow the table at once.
void AssistantRunTest::wholeRun()
{
    QFETCH(QString, box);
    QFETCH(QString, bayer);
    QFETCH(QStringList, filters);
    QFETCH(double, minExposure);
    QFETCH(QStringList, reached);
    QFETCH(QString, exposureMoves);
    QFETCH(int, exitCode);
    QFETCH(bool, lampOnBefore);
    QFETCH(double, pwmHz);
    QFETCH(bool, bands);
    RigSetup setup;
    setup.box = box;
    setup.bayer = bayer;
    setup.pwmHz = pwmHz;
    if (box == QLatin1String("bright"))
        setup.timeScale = 10; // its shortest exposures stay above a hundredth of a second
    AssistantRig *rig = rigFor(setup);
    QVERIFY(rig);
    QVERIFY(rig->indi.set(AssistantRig::light + ".VELMORA_TABLE.FILE;CAMERA;ISO_BIN=" + table + ";CCD;1x1"));
    if (lampOnBefore) {
        QVERIFY(rig->indi.set(AssistantRig::light + ".FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On"));
        QVERIFY(rig->indi.waitFor({AssistantRig::light + ".FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON==1"}, 3));
    }

    FlatAssistant assistant;
    AssistantOptions options = rig->options(filters);
    if (minExposure > 0)
        options.search.minExposure = rig->scaled(minExposure);
    options.tablePath = table;
    assistant.setOptions(options);
    QStringList progress;
    connect(&assistant, &FlatAssistant::progressLine, [&progress](const QString &line) { progress.append(line); });
    QVERIFY(runToEnd(assistant));
    QVERIFY2(assistant.errorText().isEmpty(), qPrintable(assistant.errorText() + "\n" + progress.join('\n') + "\n"
                                                          + rig->indi.messages().filter("Model Camera").join('\n')));
    QCOMPARE(assistant.state(), FlatAssistant::State::Finished);
    QCOMPARE(assistant.exitCode(), exitCode);

    const QList<FilterResult> results = assistant.results();
    QCOMPARE(results.size(), filters.size());
    QStringList expectedTable = oldLines;
    for (const FilterResult &result : results) {
        qInfo("%s", qPrintable(result.reportLine()));
        QCOMPARE(result.reached, reached.contains(result.filter));
        QVERIFY2(result.frames <= 8, qPrintable(result.reportLine() + "\n" + progress.join('\n')));
        if (!result.reached) {
            QVERIFY(result.reportLine().startsWith(result.filter + ": not reached: "));
            continue;
        }
        QVERIFY2(qAbs(result.figure - 0.5) <= 0.025, qPrintable(result.reportLine()));
        QVERIFY2(result.reportLine().contains(QStringLiteral(" s (banding below ")) == bands,
                 qPrintable(result.reportLine() + "\n" + progress.join('\n')));
        QCOMPARE(result.bandingBelow > options.search.exposure, bands);
        if (bands)
            QVERIFY2(result.bandingBelow < result.exposure, qPrintable(result.reportLine()));
        const double asked = options.search.exposure;
        if (exposureMoves == QLatin1String("held"))
            QCOMPARE(result.exposure, asked);
        else if (exposureMoves == QLatin1String("longer"))
            QVERIFY2(result.exposure > asked && result.exposure <= options.search.maxExposure, qPrintable(result.reportLine()));
        else
            QVERIFY2(result.exposure < asked && result.exposure >= options.search.minExposure, qPrintable(result.reportLine()));
        const QString line = tableLine(result);
        if (result.tableFilter == QLatin1String("Red"))
            expectedTable.replace(2, line);
        else
            expectedTable.append(line);
    }
    QCOMPARE(fileLines(table), expectedTable);
    QCOMPARE(frameTypes(*rig), flats(totalFrames(results)));
    // The box is left as the run found it: the lamp off again where the run switched it on, else still on.
    const QString lampAfter = lampOnBefore ? "FLAT_LIGHT_ON==1" : "FLAT_LIGHT_OFF==1";
    QVERIFY(rig->indi.waitFor({AssistantRig::light + ".FLAT_LIGHT_CONTROL." + lampAfter}, 3));
    for (const FilterResult &result : results)
        if (result.reached && result.filter == result.tableFilter && !result.filter.contains(' '))
            QVERIFY(rig->indi.waitFor({AssistantRig::light + ".FLAT_LIGHT_FILTER_INTENSITY." + result.filter + "=="
                                      + QString::number(result.level)}, 5));
}

void AssistantRunTest::faultsKeepWhatWasFound_data()
{
    QTest::addColumn<QString>("fault");     // the model camera's, and the frame it hits
    QTest::addColumn<int>("faultAt");   // negative: the first frame through that slot of the wheel
    QTest::addColumn<QString>("aux");       // a faulty device that takes the light box's or the wheel's place
    QTest::addColumn<QString>("event");     // what the test does when the first filter is done
    QTest::addColumn<QString>("error");     // the start of the error text
    const QString none = QStringLiteral("none");
    QTest::newRow("camera times out") << "timeout" << -8 << "" << "" << "camera \"Model Camera\" sent no frame within";
    QTest::newRow("camera errors mid-exposure") << "error" << -8 << "" << "" << "camera \"Model Camera\" failed the exposure";
    QTest::newRow("frame not FITS") << "not-fits" << -8 << "" << ""
                                    << "frame from camera \"Model Camera\" could not be read: ";
    QTest::newRow("frame truncated") << "truncated" << -8 << "" << ""
                                     << "frame from camera \"Model Camera\" could not be read: ";
    QTest::newRow("box lost mid-run") << none << 1 << "" << "unplug box" << "light box \"VELMORA Flat Box\" lost";
    QTest::newRow("table cannot be written") << none << 1 << "" << "table unwritable" << "table \"";
    QTest::newRow("light box without FLAT_LIGHT_INTENSITY")
        << none << 1 << "lamp-only" << "" << "light box \"Plain Lamp\" has no FLAT_LIGHT_INTENSITY";
    QTest::newRow("wheel never arrives") << none << 1 << "stuck-wheel" << ""
                                         << "filter wheel \"Stuck Wheel\" did not arrive at slot 3 (Blue)";
    QTest::newRow("no such camera") << none << 1 << "" << "no camera"
                                    << "no INDI device \"Nothing Here\" on 127.0.0.1:";
    // A driver that ends: indiserver removes its device at once, long before any time-out.
    QTest::newRow("camera's driver ends mid-exposure") << "exit" << -8 << "" << ""
                                                       << "camera \"Model Camera\" went away";
    QTest::newRow("light box's driver ends") << none << 1 << "" << "stop light box driver"
                                             << "light box \"VELMORA Flat Box\" went away";
    QTest::newRow("wheel's driver ends") << none << 1 << "" << "stop wheel driver"
                                         << "filter wheel \"Filter Simulator\" went away";
    QTest::newRow("INDI server ends") << none << 1 << "" << "stop server" << "INDI server on 127.0.0.1:";
    QTest::newRow("the flat set's folder cannot be made") << none << 1 << "" << "flat set folder under a file"
                                                          << "the flat set's folder \"";
}

// A clear error with status 2, the lamp off again, and the table as it was plus every line found before. A device
// or the server that goes away ends the run within a second.
void AssistantRunTest::faultsKeepWhatWasFound()
{
    QFETCH(QString, fault);
    QFETCH(int, faultAt);
    QFETCH(QString, aux);
    QFETCH(QString, event);
    QFETCH(QString, error);
    RigSetup setup;
    setup.fault = fault;
    setup.faultAt = faultAt;
    setup.aux = aux;
    AssistantRig *rig = rigFor(setup);
    QVERIFY(rig);

    FlatAssistant assistant;
    AssistantOptions options = rig->options({"Blue", "Luminance", "Green"});
    options.tablePath = table;
    options.wheelTimeoutMs = 1500;
    options.frameTimeoutS = 1;
    if (aux == QLatin1String("lamp-only"))
        options.light = QStringLiteral("Plain Lamp");
    if (aux == QLatin1String("stuck-wheel"))
        options.wheel = QStringLiteral("Stuck Wheel");
    if (event == QLatin1String("no camera"))
        options.camera = QStringLiteral("Nothing Here");
    if (event == QLatin1String("flat set folder under a file")) {
        options.capture = 2;
        options.outDir = table + QStringLiteral("/flats");
    }
    assistant.setOptions(options);
    QElapsedTimer sinceFault; // from the event, or from the start of each exposure (the camera's own faults)
    connect(&assistant, &FlatAssistant::stateChanged, [&](FlatAssistant::State state) {
        if (state == FlatAssistant::State::Exposing && event.isEmpty())
            sinceFault.start();
    });
    connect(&assistant, &FlatAssistant::filterFinished, [&] {
        if (sinceFault.isValid() && !event.isEmpty())
            return; // once
        if (event == QLatin1String("unplug box"))
            rig->box.stop();
        if (event == QLatin1String("table unwritable")) {
            QFile::remove(table);
            QVERIFY(QDir().mkpath(table)); // a folder where the file was: nothing can replace it
        }
        if (event == QLatin1String("stop light box driver"))
            QVERIFY(rig->indi.stopDriver(VELMORA_INDI_DRIVER));
        if (event == QLatin1String("stop wheel driver"))
            QVERIFY(rig->indi.stopDriver(QStringLiteral("indi_simulator_wheel")));
        if (event == QLatin1String("stop server"))
            rig->indi.stop();
        sinceFault.start();
    });
    QVERIFY(runToEnd(assistant));
    const qint64 faultToEndMs = sinceFault.elapsed();
    const bool wentAway = assistant.errorText().endsWith(QLatin1String(" went away"));
    // A rig with a device gone serves no further test.
    const auto dropRig = qScopeGuard([&] {
        if (event == QLatin1String("unplug box") || wentAway)
            kept.reset();
    });
    QCOMPARE(assistant.state(), FlatAssistant::State::Failed);
    QVERIFY2(assistant.errorText().startsWith(error), qPrintable(assistant.errorText()));
    QCOMPARE(assistant.exitCode(), 2);
    if (error.endsWith(QLatin1String(" went away")) || error.startsWith(QLatin1String("INDI server"))) {
        QVERIFY2(wentAway, qPrintable(assistant.errorText()));
        qInfo("ended %lld ms after the fault", faultToEndMs);
        // The user waits for this end: the bound stays, generous enough for a loaded machine.
        QVERIFY2(faultToEndMs < 2500, qPrintable(QString::number(faultToEndMs)));
    }

    if (event == QLatin1String("table unwritable")) {
        QCOMPARE(assistant.results().size(), 2); // the first line was saved; the second one could not be
        QVERIFY(QFileInfo(table).isDir());
        return;
    }
    QStringList expected = oldLines;
    for (const FilterResult &result : assistant.results())
        if (result.reached)
            expected.append(tableLine(result));
    QCOMPARE(fileLines(table), expected);
    if (event.isEmpty() && aux.isEmpty())
        QVERIFY2(!assistant.results().isEmpty(), "the fault should come after the first filter");
    // The lamp the run switched on goes off again, wherever the light box can still be reached.
    const QStringList boxOutOfReach{"unplug box", "stop light box driver", "stop server"};
    if (aux.isEmpty() && !boxOutOfReach.contains(event))
        QVERIFY(rig->indi.waitFor({AssistantRig::light + ".FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1"}, 3));
}

void AssistantRunTest::wholeFlatSet_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<int>("perKind"); // --capture N
    QTest::addColumn<bool>("lampOnBefore");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("two filters at one exposure")
        << "measured-led" << QStringList{"Red", "Luminance"} << 2 << false << 0;
    QTest::newRow("narrowband adds its exposure's flat-darks, the user's lamp on again after")
        << "measured-led" << QStringList{"Red", "H_Alpha"} << 2 << true << 0;
    QTest::newRow("a filter out of reach takes no flats") << "dim" << QStringList{"Red", "H_Alpha"} << 1 << false << 1;
}

// After each filter's level, N flats at that level and exposure; then N flat-darks per exposure with the lamp off.
// Every file in its folder with its headers, the flats at the target, the darks without light, every exposure of
// the right frame type, and the lamp left as the run found it.
void AssistantRunTest::wholeFlatSet()
{
    QFETCH(QString, box);
    QFETCH(QStringList, filters);
    QFETCH(int, perKind);
    QFETCH(bool, lampOnBefore);
    QFETCH(int, exitCode);
    RigSetup setup;
    setup.box = box;
    AssistantRig *rig = rigFor(setup);
    QVERIFY(rig);
    if (lampOnBefore) {
        QVERIFY(rig->indi.set(AssistantRig::light + ".FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On"));
        QVERIFY(rig->indi.waitFor({AssistantRig::light + ".FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON==1"}, 3));
    }
    FlatAssistant assistant;
    AssistantOptions options = rig->options(filters);
    options.tablePath = table;
    options.capture = perKind;
    options.outDir = files->filePath(QStringLiteral("flat set"));
    assistant.setOptions(options);
    QStringList progress;
    connect(&assistant, &FlatAssistant::progressLine, [&progress](const QString &line) { progress.append(line); });
    QPair<int, int> lastProgress;
    connect(&assistant, &FlatAssistant::captureProgress,
            [&lastProgress](int taken, int toTake) { lastProgress = qMakePair(taken, toTake); });
    const QDateTime started = QDateTime::currentDateTimeUtc();
    QVERIFY(runToEnd(assistant, 60000));
    const QDateTime ended = QDateTime::currentDateTimeUtc();
    QVERIFY2(assistant.errorText().isEmpty(), qPrintable(assistant.errorText() + "\n" + progress.join('\n')));
    QCOMPARE(assistant.exitCode(), exitCode);

    const QList<FilterResult> results = assistant.results();
    const QStringList expected = flatSetFiles(results, perKind);
    QCOMPARE(listing(options.outDir), expected);
    qInfo("%s", qPrintable(expected.join(QStringLiteral(", "))));
    int flatFrames = 0;
    for (const QString &file : expected) {
        const QString path = QDir(options.outDir).filePath(file);
        const QMap<QString, QString> headers = headersOf(path);
        const bool dark = file.startsWith(QLatin1String("darks/"));
        const auto result = std::find_if(results.begin(), results.end(),
                                         [&](const FilterResult &r) { return file.startsWith(r.filter + '/'); });
        const QString exposure = file.section('_', -2, -2).chopped(1); // ".../flat_Red_0.05s_001.fits"
        QCOMPARE(headers.value("IMAGETYP"), dark ? QStringLiteral("Dark Frame") : QStringLiteral("Flat Field"));
        QCOMPARE(headers.value("FILTER"), dark ? filters.last() : result->filter);
        QCOMPARE(headers.value("EXPTIME").toDouble(), exposure.toDouble());
        QCOMPARE(headers.value("LAMPLVL").toInt(), dark ? 0 : result->level);
        const QDateTime date = QDateTime::fromString(headers.value("DATE-OBS"), Qt::ISODateWithMs);
        QVERIFY2(date.isValid() && date.msecsTo(started) < 1000 && date.msecsTo(ended) > 0,
                 qPrintable(headers.value("DATE-OBS")));
        const auto measured = flatframes::measureFitsFile(QFile::encodeName(path).toStdString());
        QVERIFY2(dark ? measured.figure < 0.01 : qAbs(measured.figure - 0.5) <= 0.025,
                 qPrintable(file + ": " + QString::number(measured.figure)));
        flatFrames += dark ? 0 : 1;
    }
    const int darkFrames = int(expected.size()) - flatFrames;
    QCOMPARE(lastProgress, qMakePair(int(expected.size()), int(expected.size())));
    const int testFrames = totalFrames(results);
    QCOMPARE(frameTypes(*rig), flats(testFrames + flatFrames) + repeated(QStringLiteral("DARK"), darkFrames));
    QCOMPARE(lampAtExposures(*rig), repeated(QStringLiteral("on"), testFrames + flatFrames)
                                        + repeated(QStringLiteral("off"), darkFrames));
    const QString lampAfter = lampOnBefore ? "FLAT_LIGHT_ON==1" : "FLAT_LIGHT_OFF==1";
    QVERIFY(rig->indi.waitFor({AssistantRig::light + ".FLAT_LIGHT_CONTROL." + lampAfter}, 3));
}

void AssistantRunTest::everyFrameIsFlat_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("set to LIGHT again after each frame") << "light-after-frame";
    QTest::newRow("defined a second after the camera connects") << "late-frame-type";
}

// The camera takes every test frame as a FLAT, whatever another program or the driver does to its frame type.
void AssistantRunTest::everyFrameIsFlat()
{
    QFETCH(QString, fault);
    RigSetup setup;
    setup.fault = fault;
    AssistantRig *rig = rigFor(setup);
    QVERIFY(rig);
    QVERIFY(rig->indi.set(AssistantRig::camera + ".CONNECTION.CONNECT=On"));
    QVERIFY(rig->indi.waitFor({AssistantRig::camera + ".CCD_FRAME_TYPE.FRAME_LIGHT>=0"}, 5));
    QVERIFY(rig->indi.set(AssistantRig::camera + ".CCD_FRAME_TYPE.FRAME_LIGHT=On"));
    QVERIFY(rig->indi.waitFor({AssistantRig::camera + ".CCD_FRAME_TYPE.FRAME_LIGHT==1"}, 3));
    if (fault == QLatin1String("late-frame-type")) {
        QVERIFY(rig->indi.set(AssistantRig::camera + ".CONNECTION.DISCONNECT=On"));
        QVERIFY(rig->indi.waitFor({AssistantRig::camera + ".CONNECTION.CONNECT==0"}, 3));
    }
    FlatAssistant assistant;
    AssistantOptions options = rig->options({"Red", "Luminance"});
    options.tablePath = table;
    assistant.setOptions(options);
    QVERIFY(runToEnd(assistant));
    QVERIFY2(assistant.errorText().isEmpty(), qPrintable(assistant.errorText()));
    QCOMPARE(assistant.exitCode(), 0);
    QCOMPARE(frameTypes(*rig), flats(totalFrames(assistant.results())));
    QCOMPARE(fileLines(table).size(), oldLines.size() + 1); // Red replaced, Luminance added
}

// Stopped while the camera exposes: at once, the lamp off, nothing written for the unfinished filter.
void AssistantRunTest::stopSwitchesTheLampOff()
{
    AssistantRig *rig = rigFor();
    QVERIFY(rig);
    FlatAssistant assistant;
    AssistantOptions options = rig->options({"Luminance"});
    options.search.exposure = 3; // long enough to be stopped in the middle
    options.tablePath = table;
    assistant.setOptions(options);
    QElapsedTimer sinceStop;
    connect(&assistant, &FlatAssistant::stateChanged, [&assistant, &sinceStop](FlatAssistant::State state) {
        if (state == FlatAssistant::State::Exposing && !sinceStop.isValid()) {
            sinceStop.start();
            assistant.stop();
        }
    });
    QVERIFY(runToEnd(assistant));
    // Ended before the 3 s exposure would have: the stop cut it short (timed from the stop, not the start,
    // so that a slow connect on a loaded machine does not count).
    QVERIFY2(sinceStop.elapsed() < 2500, qPrintable(QString::number(sinceStop.elapsed())));
    QCOMPARE(assistant.state(), FlatAssistant::State::Stopped);
    QCOMPARE(assistant.exitCode(), 1);
    QVERIFY(rig->indi.waitFor({AssistantRig::light + ".FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1"}, 3));
    QCOMPARE(fileLines(table), oldLines);
}

// The box's curve and each filter's light, remembered: a second run starts from a prediction.
void AssistantRunTest::secondRunStartsFromTheLearnedCurve()
{
    AssistantRig *rig = rigFor();
    QVERIFY(rig);
    const QStringList filters{"Red", "Green", "Blue", "Luminance"};
    QList<int> frames;
    for (int run = 0; run < 2; ++run) {
        FlatAssistant assistant;
        AssistantOptions options = rig->options(filters);
        options.tablePath = table;
        assistant.setOptions(options);
        QVERIFY(runToEnd(assistant));
        QCOMPARE(assistant.exitCode(), 0);
        frames.append(totalFrames(assistant.results()));
    }
    qInfo("frames for %d filters: first run %d, second run %d", int(filters.size()), frames[0], frames[1]);
    QVERIFY2(frames[1] <= qCeil(1.2 * filters.size()), qPrintable(QString::number(frames[1])));
    QVERIFY(frames[1] < frames[0]);
}

void AssistantRunTest::folderOfFrames_data()
{
    QTest::addColumn<bool>("staleFrameFirst"); // a frame written before the level changed arrives first
    QTest::addColumn<bool>("otherFilterFirst"); // a frame taken through another filter arrives first
    QTest::addColumn<int>("capture");           // the flat set asked for: listed for the user to take
    QTest::newRow("frames as asked") << false << false << 0;
    QTest::newRow("a frame from before the level change is skipped") << true << false << 0;
    QTest::newRow("a frame through another filter is skipped") << false << true << 0;
    QTest::newRow("the flat set to take is listed once the levels are found") << false << false << 3;
}

// The test plays the capture program: it writes each frame the progress line asks for, at the level the light box
// shows, with FILTER and EXPTIME headers.
void AssistantRunTest::folderOfFrames()
{
    QFETCH(bool, staleFrameFirst);
    QFETCH(bool, otherFilterFirst);
    QFETCH(int, capture);
    AssistantRig *rig = rigFor();
    QVERIFY(rig);
    const QString folder = files->filePath(QStringLiteral("frames"));
    QVERIFY(QDir().mkpath(folder));
    FlatAssistant assistant;
    AssistantOptions options = rig->options({"Red", "H_Alpha"});
    options.camera.clear();
    options.wheel.clear();
    options.watchDir = folder;
    options.search.exposure = 2;
    options.search.minExposure = 0.5;
    options.search.maxExposure = 60;
    options.tablePath = table;
    options.capture = capture;
    assistant.setOptions(options);
    const flatmodel::BoxModel box = flatmodel::namedBox("measured-led");
    flatmodel::CameraModel camera;
    int written = 0;
    QStringList progress;
    const QRegularExpression ask(QStringLiteral("^(.+): take a frame at level (\\d+), exposure ([0-9.]+) s"));
    connect(&assistant, &FlatAssistant::progressLine, [&](const QString &line) {
        progress.append(line);
        const QRegularExpressionMatch match = ask.match(line);
        if (!match.hasMatch())
            return;
        const std::string filter = match.captured(1).toStdString();
        const int level = match.captured(2).toInt();
        const double exposure = match.captured(3).toDouble();
        std::string problem;
        auto path = [&](const char *name) { return QFile::encodeName(folder + '/' + name + QString::number(++written) + ".fits").toStdString(); };
        if (written == 0 && staleFrameFirst) {
            const std::string stale = path("stale");
            QVERIFY(flatmodel::writeFitsFile(stale, box, camera, filter, 255, exposure, 1, true, problem));
            QFile file(QString::fromStdString(stale));
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        }
        if (written == 0 && otherFilterFirst)
            QVERIFY(flatmodel::writeFitsFile(path("other"), box, camera, "Green", level, exposure, 2, true, problem));
        QVERIFY(flatmodel::writeFitsFile(path("flat"), box, camera, filter, level, exposure, unsigned(written), true,
                                         problem));
    });
    QVERIFY(runToEnd(assistant, 60000));
    QVERIFY2(assistant.errorText().isEmpty(), qPrintable(assistant.errorText()));
    QCOMPARE(assistant.exitCode(), 0);
    const QList<FilterResult> results = assistant.results();
    QCOMPARE(results.size(), 2);
    QCOMPARE(results[1].tableFilter, QStringLiteral("H-alpha"));
    QVERIFY(results[1].exposure > 2);
    QCOMPARE(progress.filter(QStringLiteral("written before the level changed")).size(), staleFrameFirst ? 1 : 0);
    QCOMPARE(progress.filter(QStringLiteral("taken with filter Green")).size(), otherFilterFirst ? 1 : 0);
    QCOMPARE(fileLines(table), (QStringList{oldLines[0], oldLines[1], tableLine(results[0]), tableLine(results[1])}));
    // The level of each frame went to the box.
    for (const FilterResult &result : results)
        QVERIFY(rig->box.accepted().contains(QStringLiteral(">B%1").arg(result.level, 3, 10, QLatin1Char('0'))));
    // The flat set is the user's to take: the run lists it at the end and takes nothing more.
    QStringList toTake;
    if (capture > 0) {
        for (const FilterResult &result : results)
            toTake.append(QStringLiteral("%1: take 3 flats at level %2, exposure %3 s")
                              .arg(result.filter).arg(result.level).arg(QString::number(result.exposure, 'g', 4)));
        for (const FilterResult &result : results)
            toTake.append(QStringLiteral("take 3 flat-darks of %1 s with the lamp off")
                              .arg(QString::number(result.exposure, 'g', 4)));
    }
    QCOMPARE(progress.mid(progress.size() - toTake.size()), toTake);
    QCOMPARE(progress.filter(QStringLiteral("take a frame at")).size(), totalFrames(results));
}

// What the window offers to choose from: each device under the role its properties give it, and the wheel's filters.
void AssistantRunTest::devicesListed()
{
    AssistantRig *rig = rigFor();
    QVERIFY(rig);
    QVERIFY(rig->indi.set(AssistantRig::wheel + ".CONNECTION.CONNECT=On"));
    QVERIFY(rig->indi.waitFor({AssistantRig::wheel + ".CONNECTION._STATE==1"}, 5));
    IndiDeviceLister lister;
    QSignalSpy listed(&lister, &IndiDeviceLister::listed);
    lister.list(QStringLiteral("127.0.0.1"), rig->indi.port());
    QVERIFY(listed.wait(8000));
    const IndiDevices devices = listed.first().first().value<IndiDevices>();
    QCOMPARE(devices.error, QString());
    QCOMPARE(devices.cameras, QStringList{AssistantRig::camera});
    QCOMPARE(devices.lights, QStringList{AssistantRig::light});
    QCOMPARE(devices.wheels, QStringList{AssistantRig::wheel});
    QCOMPARE(lister.wheelFilters(AssistantRig::wheel),
             (QStringList{"Red", "Green", "Blue", "H_Alpha", "SII", "OIII", "LPR", "Luminance"}));

    lister.list(QStringLiteral("127.0.0.1"), 1);
    QVERIFY(listed.wait(8000));
    QCOMPARE(listed.last().first().value<IndiDevices>().error, QStringLiteral("no INDI server on 127.0.0.1:1"));
}

QTEST_GUILESS_MAIN(AssistantRunTest)
#include "tst_assistantrun.moc"
