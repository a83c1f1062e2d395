// The search for a filter's flat on model light boxes: frames rendered as FITS by the frame model and measured by
// the assistant's own measurement, as the camera would deliver them.
#include "bandingguard.h"
#include "curvestore.h"
#include "fitsframe.h"
#include "flatmodel.h"
#include "flatsearch.h"

#include <QTemporaryDir>
#include <QTest>

using flatsearch::Frame;
using flatsearch::Verdict;

Q_DECLARE_METATYPE(std::vector<Frame>)

namespace {


struct Outcome
{
    flatsearch::Step step;
    std::vector<Frame> frames;
    double bandingBelow = 0;
};

class ModelRig
{
public:
    ModelRig(const QString &box, const QString &bayer = QString()) : box(flatmodel::namedBox(box.toStdString()))
    {
        camera.width = 160;
        camera.height = 120;
        camera.bayer = bayer.toStdString();
        camera.lineTime = 0.0006; // a rolling shutter that reads the frame out in 72 ms
    }

    Frame take(const std::string &filter, int level, double exposure)
    {
        const auto bytes = flatmodel::renderFits(box, camera, filter, level, exposure, ++seed);
        const auto measured = flatframes::measureFitsMemory(bytes.data(), bytes.size());
        return {level, exposure, measured.figure, measured.saturated, measured.banding};
    }

    double truth(const std::string &filter, int level, double exposure) const
    {
        return flatmodel::expectedFigure(box, camera, filter, level, exposure);
    }

    // One filter searched to its verdict, the frames taken on the way.
    Outcome search(const std::string &filter, const flatsearch::Settings &settings,
        flatsearch::ResponseCurve &curve, double &rate)
    {
        flatsearch::Settings filterSettings = settings;
        filterSettings.filter = filter;
        flatsearch::GuardedSearch search(filterSettings, curve, rate);
        Outcome outcome;
        for (int guard = 0; guard < 30; ++guard) {
            outcome.step = search.next(outcome.frames);
            if (outcome.step.verdict != Verdict::Next)
                break;
            outcome.frames.push_back(take(filter, outcome.step.level, outcome.step.exposure));
        }
        curve = search.curve();
        rate = search.fullLevelRate();
        outcome.bandingBelow = search.bandingBelow();
        return outcome;
    }

    flatmodel::BoxModel box;
    flatmodel::CameraModel camera;
    unsigned seed = 0;
};

bool inBand(double figure, const flatsearch::Settings &settings)
{
    return std::abs(figure - settings.target) <= settings.target * settings.tolerance;
}

void verifyNoRepeat(const std::vector<Frame> &frames)
{
    for (std::size_t i = 1; i < frames.size(); ++i) {
        const bool repeated = frames[i].level == frames[i - 1].level && frames[i].exposure == frames[i - 1].exposure;
        QVERIFY2(!repeated, qPrintable(QStringLiteral("frame %1 repeats level %2").arg(i + 1).arg(frames[i].level)));
    }
}

// A result in the band, by the frame and by the model itself.
void verifyReached(const ModelRig &rig, const std::string &filter, const Outcome &outcome,
    const flatsearch::Settings &settings)
{
    QCOMPARE(outcome.step.verdict, Verdict::Done);
    QVERIFY(inBand(outcome.frames.back().figure, settings));
    QVERIFY2(inBand(rig.truth(filter, outcome.step.level, outcome.step.exposure), settings),
        qPrintable(QStringLiteral("%1 at level %2, %3 s gives %4")
                       .arg(QString::fromStdString(filter))
                       .arg(outcome.step.level)
                       .arg(outcome.step.exposure)
                       .arg(rig.truth(filter, outcome.step.level, outcome.step.exposure))));
}

QString exposureKind(double exposure, const flatsearch::Settings &settings)
{
    if (std::abs(exposure - settings.exposure) < 1e-9)
        return QStringLiteral("held");
    return exposure > settings.exposure ? QStringLiteral("longer") : QStringLiteral("shorter");
}

} // namespace

class FlatSearchTest : public QObject
{
    Q_OBJECT

private slots:
    void newBox_data();
    void newBox();
    void rules_data();
    void rules();
    void outOfReach_data();
    void outOfReach();
    void filterSequence_data();
    void filterSequence();
    void frameHistory_data();
    void frameHistory();
    void curveText_data();
    void curveText();
};

void FlatSearchTest::newBox_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("bayer");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("maxFrames");
    QTest::addColumn<QString>("exposure");
    QTest::addColumn<double>("bias");
    QTest::addColumn<bool>("bands"); // a slow PWM bands the frames at the exposure asked for

    QTest::newRow("linear, luminance") << "linear" << "" << "Luminance" << 3 << "held" << 0.0 << false;
    QTest::newRow("gamma, luminance") << "gamma" << "" << "Luminance" << 3 << "held" << 0.0 << false;
    QTest::newRow("LED curve, luminance") << "measured-led" << "" << "Luminance" << 3 << "held" << 0.0 << false;
    QTest::newRow("LED curve, colour camera") << "measured-led" << "RGGB" << "Luminance" << 3 << "held" << 0.0 << false;
    QTest::newRow("gamma, red") << "gamma" << "" << "Red" << 3 << "held" << 0.0 << false;
    QTest::newRow("dim box, luminance: longer") << "dim" << "" << "Luminance" << 3 << "longer" << 0.0 << false;
    QTest::newRow("gamma, H-alpha: longer") << "gamma" << "" << "H-alpha" << 4 << "longer" << 0.0 << false;
    QTest::newRow("gamma, Hα: narrowband to the model and the search")
        << "gamma" << "" << "Hα" << 2 << "longer" << 0.0 << false;
    QTest::newRow("bright box, red: shorter") << "bright" << "" << "Red" << 8 << "shorter" << 0.0 << false;
    QTest::newRow("linear, OIII first: longer") << "linear" << "" << "OIII" << 3 << "longer" << 0.0 << false;
    QTest::newRow("gamma, green first") << "gamma" << "" << "Green" << 3 << "held" << 0.0 << false;
    QTest::newRow("LED curve, blue first") << "measured-led" << "" << "Blue" << 3 << "held" << 0.0 << false;
    QTest::newRow("LED curve, colour camera, red first") << "measured-led" << "RGGB" << "Red" << 3 << "held" << 0.0 << false;
    QTest::newRow("LED curve, H-alpha first: longer") << "measured-led" << "" << "H-alpha" << 3 << "longer" << 0.0 << false;
    QTest::newRow("dim box, red first: longer") << "dim" << "" << "Red" << 3 << "longer" << 0.0 << false;
    QTest::newRow("LED curve, camera offset 0.02") << "measured-led" << "" << "Luminance" << 3 << "held" << 0.02 << false;
    QTest::newRow("PWM LED panel: bands at 2 s, longer at a lower level")
        << "pwm-led" << "" << "Luminance" << 4 << "longer" << 0.0 << true;
    QTest::newRow("PWM LED panel, colour camera") << "pwm-led" << "RGGB" << "Luminance" << 4 << "longer" << 0.0 << true;
    // Full level is a duty cycle of 1: a steady light, whatever the PWM.
    QTest::newRow("PWM LED panel, H-alpha at full level") << "pwm-led" << "" << "H-alpha" << 3 << "longer" << 0.0 << false;
}

// A box nothing is known of: the first filter reaches the band in a few frames, the exposure held where a level
// will do.
void FlatSearchTest::newBox()
{
    QFETCH(QString, box);
    QFETCH(QString, bayer);
    QFETCH(QString, filter);
    QFETCH(int, maxFrames);
    QFETCH(QString, exposure);
    QFETCH(double, bias);
    QFETCH(bool, bands);

    ModelRig rig(box, bayer);
    rig.camera.bias = bias;
    flatsearch::Settings settings;
    settings.bias = bias;
    flatsearch::ResponseCurve curve;
    double rate = 0;
    const Outcome outcome = rig.search(filter.toStdString(), settings, curve, rate);

    qInfo("%s: level %d, %.2f s, %d frames, banding below %.2f s", qPrintable(filter), outcome.step.level,
        outcome.step.exposure, int(outcome.frames.size()), outcome.bandingBelow);
    verifyReached(rig, filter.toStdString(), outcome, settings);
    QVERIFY(int(outcome.frames.size()) <= maxFrames);
    QCOMPARE(exposureKind(outcome.step.exposure, settings), exposure);
    verifyNoRepeat(outcome.frames);
    QVERIFY(curve.known());
    QVERIFY(rate > 0);
    // Bands are found where the panel makes them, the result is free of them, and the level drops to hold the target
    // at the longer exposure.
    QCOMPARE(outcome.bandingBelow > settings.exposure, bands);
    QCOMPARE(outcome.bandingBelow > 0, bands);
    QVERIFY2(!flatsearch::bands(outcome.frames.back()), qPrintable(QString::number(outcome.frames.back().banding)));
    if (bands) {
        QVERIFY(std::any_of(outcome.frames.begin(), outcome.frames.end(), flatsearch::bands));
        QVERIFY(outcome.step.exposure > outcome.bandingBelow);
        int levelAtAskedExposure = 255;
        while (levelAtAskedExposure > 0
               && rig.truth(filter.toStdString(), levelAtAskedExposure - 1, settings.exposure) >= settings.target)
            --levelAtAskedExposure;
        QVERIFY2(outcome.step.level < levelAtAskedExposure, qPrintable(QString::number(levelAtAskedExposure)));
    }
}

void FlatSearchTest::rules_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<double>("cameraOffset"); // not told to the search
    QTest::addColumn<QStringList>("filters"); // searched in turn on a new box; the last one is held to maxFrames
    QTest::addColumn<int>("maxFrames");
    QTest::addColumn<QString>("exposure");

    // Each row is what one rule of the search buys: without that rule the last filter takes more frames.
    QTest::newRow("a narrowband filter starts at 255: the held exposure scaled once")
        << "linear" << 0.0 << QStringList{"H-alpha"} << 2 << "longer";
    QTest::newRow("the offset from two exposures at 255: the third frame in the band")
        << "linear" << 0.03 << QStringList{"H-alpha"} << 3 << "longer";
    QTest::newRow("a first frame that puts the band high: the next at 255")
        << "linear" << 0.0 << QStringList{"Red"} << 3 << "longer";
    QTest::newRow("a dim first frame on a steep box: the next where the steepest rise puts the band")
        << "steep" << 0.0 << QStringList{"Luminance"} << 3 << "held";
    QTest::newRow("a lit frame below a saturated one: aimed between on their power law")
        << "late-start" << 0.03 << QStringList{"Luminance"} << 4 << "held";
    QTest::newRow("the filter's own frames aim the next level")
        << "gamma" << 0.03 << QStringList{"Green"} << 4 << "held";
    QTest::newRow("the filter's own frames, past a curve taught by a narrowband filter")
        << "soft" << 0.0 << QStringList{"H-alpha", "Luminance"} << 3 << "held";
    QTest::newRow("255 predicted just short: tried at the held exposure first")
        << "steep" << 0.0 << QStringList{"Red"} << 4 << "held";
    QTest::newRow("coarse steps: the dimmer step, its exposure stretched")
        << "coarse-pwm" << 0.03 << QStringList{"Luminance"} << 4 << "longer";
    QTest::newRow("too bright at the dimmest level: shorter below saturation, the offset read from flat figures")
        << "bright" << 0.03 << QStringList{"Luminance"} << 9 << "not reached";
    QTest::newRow("an unknown offset in a dim frame: the longer exposure aimed at the band's upper half")
        << "soft" << 0.03 << QStringList{"Blue"} << 3 << "longer";
    QTest::newRow("saturated and dark frames bound a filter's rate")
        << "dim" << 0.0 << QStringList{"Red"} << 3 << "longer";
    QTest::newRow("a step too dim below one that saturates: the dimmer step, its exposure stretched")
        << "coarse-bright" << 0.0 << QStringList{"Luminance"} << 7 << "longer";
    QTest::newRow("frames alike a few levels apart: the next past their coarse step")
        << "coarse-pwm" << 0.03 << QStringList{"OIII", "Luminance"} << 6 << "longer";
    QTest::newRow("a plateau seen from above: the band aimed at below it")
        << "plateau" << 0.0 << QStringList{"H-alpha", "Luminance"} << 4 << "held";
    QTest::newRow("far from the levels the curve learned, the rate guessed from other filters' holds")
        << "linear" << 0.0 << QStringList{"SII", "Luminance", "Red"} << 2 << "longer";
}

// The search's rules, each on the box family that needs it.
void FlatSearchTest::rules()
{
    QFETCH(QString, box);
    QFETCH(double, cameraOffset);
    QFETCH(QStringList, filters);
    QFETCH(int, maxFrames);
    QFETCH(QString, exposure);

    ModelRig rig(box);
    rig.camera.bias = cameraOffset;
    flatsearch::Settings settings;
    BoxMemory memory;
    Outcome outcome;
    for (const QString &name : filters) {
        const std::string filter = name.toStdString();
        double rate = flatsearch::guessFullLevelRate(filter, memory.filterRates);
        settings.rateDoubt = flatsearch::rateGuessDoubt(filter, memory.filterRates);
        outcome = rig.search(filter, settings, memory.curve, rate);
        memory.filterRates[filter] = rate;
    }
    const std::string last = filters.last().toStdString();
    qInfo("%s: level %d, %.2f s, %d frames", last.c_str(), outcome.step.level, outcome.step.exposure,
        int(outcome.frames.size()));
    QVERIFY2(int(outcome.frames.size()) <= maxFrames, qPrintable(QString::number(outcome.frames.size())));
    verifyNoRepeat(outcome.frames);
    if (exposure == QLatin1String("not reached")) {
        QCOMPARE(outcome.step.verdict, Verdict::Unreachable);
        const int dimmest = rig.box.lowestLitLevel();
        QVERIFY(rig.truth(last, dimmest, settings.minExposure) > settings.target * (1 + settings.tolerance));
        return;
    }
    verifyReached(rig, last, outcome, settings);
    QCOMPARE(exposureKind(outcome.step.exposure, settings), exposure);
}

void FlatSearchTest::outOfReach_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("level");
    QTest::addColumn<double>("exposure");
    QTest::addColumn<bool>("tooBright");

    // The dim box gives H-alpha 0.05 * 0.015 * 60 s = 0.045 of full scale at its brightest.
    QTest::newRow("too dim at 255 and 60 s") << "dim" << "H-alpha" << 255 << 60.0 << false;
    // The bright box gives a clear filter 1.2 of full scale per second at its dimmest level, 3.
    QTest::newRow("too bright at the dark zone's end and 0.5 s") << "bright" << "Luminance" << 3 << 0.5 << true;
}

// "Not reached" only once a frame at the end of the range and the exposure limit shows it.
void FlatSearchTest::outOfReach()
{
    QFETCH(QString, box);
    QFETCH(QString, filter);
    QFETCH(int, level);
    QFETCH(double, exposure);
    QFETCH(bool, tooBright);

    ModelRig rig(box);
    const flatsearch::Settings settings;
    flatsearch::ResponseCurve curve;
    double rate = 0;
    const Outcome outcome = rig.search(filter.toStdString(), settings, curve, rate);

    QCOMPARE(outcome.step.verdict, Verdict::Unreachable);
    QCOMPARE(outcome.step.level, level);
    QCOMPARE(outcome.step.exposure, exposure);
    const auto proof = std::find_if(outcome.frames.begin(), outcome.frames.end(),
        [&](const Frame &frame) { return frame.level == level && frame.exposure == exposure; });
    QVERIFY(proof != outcome.frames.end());
    if (tooBright) {
        QVERIFY(proof->saturated || proof->figure > 0.525);
        QCOMPARE(curve.darkZoneEnd(), level);
    } else {
        QVERIFY(proof->figure < 0.475);
    }
    verifyNoRepeat(outcome.frames);
}

void FlatSearchTest::filterSequence_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("bayer");
    QTest::addColumn<QStringList>("filters");

    const QStringList wheel = {"Luminance", "Red", "Green", "Blue", "H-alpha", "OIII", "SII"};
    QTest::newRow("linear") << "linear" << "" << wheel;
    QTest::newRow("gamma") << "gamma" << "" << wheel;
    QTest::newRow("LED curve") << "measured-led" << "" << wheel;
    QTest::newRow("LED curve, colour camera") << "measured-led" << "GBRG" << wheel;
    QTest::newRow("dim box") << "dim" << "" << wheel;
    // The rate guess and the model read the names alike: Hα is narrowband, Rosso red.
    QTest::newRow("LED curve, a wheel named in Italian and with Hα")
        << "measured-led" << "" << QStringList{"Luminanza", "Rosso", "Verde", "Blu", "H\u03b1", "OIII", "SII"};
}

// Every filter of a wheel on a new box, each later filter starting from the curve the earlier ones taught; then a
// second run from the box's memory as the store keeps it, one frame per filter.
void FlatSearchTest::filterSequence()
{
    QFETCH(QString, box);
    QFETCH(QString, bayer);
    QFETCH(QStringList, filters);

    std::vector<std::string> wheel;
    for (const QString &filter : filters)
        wheel.push_back(filter.toStdString());
    ModelRig rig(box, bayer);
    const flatsearch::Settings settings;
    BoxMemory memory;
    int firstRunFrames = 0;
    for (std::size_t i = 0; i < wheel.size(); ++i) {
        const std::string &filter = wheel[i];
        double rate = flatsearch::guessFullLevelRate(filter, memory.filterRates);
        const Outcome outcome = rig.search(filter, settings, memory.curve, rate);
        memory.filterRates[filter] = rate;
        firstRunFrames += int(outcome.frames.size());
        QVERIFY2(int(outcome.frames.size()) <= (i == 0 ? 3 : 2), filter.c_str());
        verifyNoRepeat(outcome.frames);
        if (outcome.step.verdict == Verdict::Done)
            verifyReached(rig, filter, outcome, settings);
        else
            QVERIFY(rig.truth(filter, 255, settings.maxExposure) < 0.475);
    }

    // The learned curve follows the box between the points it learned, dark zone and non-linear rise included.
    const auto points = memory.curve.points();
    QVERIFY(!points.empty());
    const double luminanceRate = memory.filterRates[wheel.front()];
    for (int level = points.front().first; level <= points.back().first; level += 7) {
        const double predicted = luminanceRate * memory.curve.brightness(level) * settings.exposure;
        const double actual = rig.truth(wheel.front(), level, settings.exposure);
        if (actual < 1.0)
            QVERIFY2(std::abs(predicted / actual - 1) < 0.15, qPrintable(QString::number(level)));
    }

    QTemporaryDir folder;
    QString error;
    const CurveStore store(folder.path());
    QVERIFY2(store.save(QStringLiteral("model:") + box, memory, error), qPrintable(error));
    BoxMemory remembered = store.load(QStringLiteral("model:") + box);
    int secondRunFrames = 0;
    for (const std::string &filter : wheel) {
        double rate = remembered.filterRates[filter];
        const Outcome outcome = rig.search(filter, settings, remembered.curve, rate);
        secondRunFrames += int(outcome.frames.size());
        if (outcome.step.verdict == Verdict::Done)
            verifyReached(rig, filter, outcome, settings);
    }
    qInfo("first run %d frames, second run %d frames for %d filters", firstRunFrames, secondRunFrames,
        int(wheel.size()));
    QVERIFY(secondRunFrames <= int(1.2 * wheel.size()));
}

void FlatSearchTest::frameHistory_data()
{
    QTest::addColumn<std::vector<Frame>>("frames");
    QTest::addColumn<int>("verdict");
    QTest::addColumn<int>("lowestLevel");
    QTest::addColumn<int>("highestLevel");
    QTest::addColumn<double>("exposure");
    QTest::addColumn<int>("darkZoneEnd");
    QTest::addColumn<QString>("knownCurve");

    const int next = int(Verdict::Next);
    // On a new box with the camera's offset unknown, an exposure lengthened from a dim frame aims at the band's upper
    // half (target 0.5, tolerance 5%): an offset in the dim figure does not grow with the exposure.
    const double lengthenedAim = 0.5 * (1 + 0.05 / 2);
    QTest::newRow("in the band: done") << std::vector<Frame>{{120, 2, 0.49, false}} << int(Verdict::Done) << 120
                                       << 120 << 2.0 << 0 << "";
    QTest::newRow("saturated: far lower, nothing learned")
        << std::vector<Frame>{{120, 2, 1.0, true}} << next << 1 << 60 << 2.0 << 0 << "";
    QTest::newRow("saturated above a measured frame: stays below it")
        << std::vector<Frame>{{60, 2, 0.3, false}, {90, 2, 1.0, true}} << next << 61 << 89 << 2.0 << 0 << "";
    QTest::newRow("too dim: brighter at the held exposure")
        << std::vector<Frame>{{40, 2, 0.2, false}} << next << 41 << 254 << 2.0 << 0 << "";
    QTest::newRow("255 too dim: longer exposure at 255")
        << std::vector<Frame>{{255, 2, 0.1, false}} << next << 255 << 255 << 2 * lengthenedAim / 0.1 << 0 << "";
    // The curve says 255 falls just short at 2 s: a frame at 255 and 2 s first shows whether the exposure must move.
    QTest::newRow("255 predicted just short: tried at the held exposure")
        << std::vector<Frame>{{200, 2, 0.27, false}} << next << 255 << 255 << 2.0 << 0 << "";
    QTest::newRow("255 measured short: then the exposure moves")
        << std::vector<Frame>{{200, 2, 0.27, false}, {255, 2, 0.44, false}} << next << 255 << 255 << 2.0 * lengthenedAim / 0.44
        << 0 << "";
    QTest::newRow("255 at 60 s too dim: not reached")
        << std::vector<Frame>{{255, 60, 0.1, false}} << int(Verdict::Unreachable) << 255 << 255 << 60.0 << 0 << "";
    QTest::newRow("no light low down, once the rate is known: the dark zone")
        << std::vector<Frame>{{40, 2, 0.3, false}, {10, 2, 0.0, false}} << next << 11 << 254 << 2.0 << 11 << "";
    QTest::newRow("same figure at twice the exposure: the camera's offset, no light")
        << std::vector<Frame>{{40, 2, 0.3, false}, {10, 2, 0.012, false}, {10, 4, 0.012, false}} << next << 11 << 254
        << 2.0 << 11 << "";
    QTest::newRow("no light at the first frame: a dim filter, not a dark zone")
        << std::vector<Frame>{{40, 2, 0.001, false}} << next << 41 << 255 << -1.0 << 0 << "";
    // One level too dim, the next too bright: the step is coarser than the band, the exposure has to move.
    QTest::newRow("coarse step: the dimmer level, exposure stretched")
        << std::vector<Frame>{{10, 2, 0.45, false}, {11, 2, 0.58, false}} << next << 10 << 10 << 2 * lengthenedAim / 0.45 << 0
        << "";
    // Too bright from above on a soft rise; the frame at 26 reads hardly more than a camera's offset, so the slope
    // towards the band comes from the two frames nearest it (0.82 at 182, 0.68 at 147: an exponent of about 0.9).
    QTest::newRow("a frame far below the band does not set the slope")
        << std::vector<Frame>{{255, 2, 0.978, false}, {26, 2, 0.0101, false}, {182, 2, 0.82, false},
               {147, 2, 0.682, false}}
        << next << 95 << 112 << 2.0 << 0 << "";
    // The curve puts the target nearest level 10, where the last frame was.
    QTest::newRow("the same level is not sent twice in a row")
        << std::vector<Frame>{{10, 2, 0.45, false}} << next << 11 << 11 << 2.0 << 0 << "dark 0 points 10:0.45 11:0.58";
    // Bands twice the spread allowed fade at 4 s; the next frame goes a tenth beyond, at the level for the target.
    QTest::newRow("banded in the band: no result, longer and dimmer")
        << std::vector<Frame>{{120, 2, 0.49, false, 2.0}} << next << 60 << 100 << 4.4 << 0 << "";
    QTest::newRow("barely banded: the exposure grows by a step")
        << std::vector<Frame>{{120, 2, 0.49, false, 1.05}} << next << 90 << 119 << 2.5 << 0 << "";
    QTest::newRow("the bands gone at the longer exposure, in the band: done")
        << std::vector<Frame>{{120, 2, 0.49, false, 2.0}, {84, 4.4, 0.51, false, 0.6}} << int(Verdict::Done) << 84 << 84
        << 4.4 << 0 << "";
    QTest::newRow("banded again at the longer exposure: longer still")
        << std::vector<Frame>{{120, 2, 0.49, false, 2.0}, {84, 4.4, 0.51, false, 1.3}} << next << 60 << 83 << 6.3 << 0
        << "";
    QTest::newRow("a band-free frame shorter than the bands allow is no result")
        << std::vector<Frame>{{120, 2, 0.7, false, 2.0}, {100, 2, 0.5, false, 0.5}} << next << 60 << 99 << 4.4 << 0 << "";
    QTest::newRow("bands at the longest exposure: not reached")
        << std::vector<Frame>{{255, 60, 0.5, false, 1.5}} << int(Verdict::Unreachable) << 255 << 255 << 60.0 << 0 << "";
}

// What the search makes of frame histories, whoever took the frames (the folder mode takes the user's frames).
void FlatSearchTest::frameHistory()
{
    QFETCH(std::vector<Frame>, frames);
    QFETCH(int, verdict);
    QFETCH(int, lowestLevel);
    QFETCH(int, highestLevel);
    QFETCH(double, exposure);
    QFETCH(int, darkZoneEnd);
    QFETCH(QString, knownCurve);

    const auto curve = knownCurve.isEmpty() ? flatsearch::ResponseCurve{}
                                            : *flatsearch::ResponseCurve::parse(knownCurve.toStdString());
    flatsearch::GuardedSearch search(flatsearch::Settings{}, curve);
    const flatsearch::Step step = search.next(frames);

    QCOMPARE(int(step.verdict), verdict);
    QVERIFY2(step.level >= lowestLevel && step.level <= highestLevel, qPrintable(QString::number(step.level)));
    if (exposure > 0)
        QVERIFY2(std::abs(step.exposure - exposure) / exposure < 0.02, qPrintable(QString::number(step.exposure)));
    QCOMPARE(search.curve().darkZoneEnd(), darkZoneEnd);
    const bool onlySaturated = std::all_of(frames.begin(), frames.end(), [](const Frame &f) { return f.saturated; });
    if (onlySaturated)
        QVERIFY(search.curve().points().empty());
    QVERIFY(!(step.level == frames.back().level && step.exposure == frames.back().exposure)
        || verdict != int(Verdict::Next));
}

void FlatSearchTest::curveText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("nothing known") << "dark 0 points" << true;
    QTest::newRow("dark zone and points") << "dark 6 points 6:0.004 27:0.12 140:0.61" << true;
    QTest::newRow("not a curve") << "hello" << false;
    QTest::newRow("falling brightness") << "dark 0 points 10:0.5 20:0.4" << false;
    QTest::newRow("point in the dark zone") << "dark 10 points 5:0.1" << false;
    QTest::newRow("level beyond 255") << "dark 0 points 300:0.5" << false;
    QTest::newRow("broken point") << "dark 0 points 10:" << false;
}

void FlatSearchTest::curveText()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);

    const auto curve = flatsearch::ResponseCurve::parse(text.toStdString());
    QCOMPARE(curve.has_value(), valid);
    if (valid) {
        QCOMPARE(QString::fromStdString(curve->serialize()), text);
        QCOMPARE(flatsearch::ResponseCurve::parse(curve->serialize())->points(), curve->points());
    }
}

QTEST_GUILESS_MAIN(FlatSearchTest)
#include "tst_flatsearch.moc"
