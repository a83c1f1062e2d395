// The lamp switch with its retries, and the four brightness controls that keep each other in step.

#include "connectiontest.h"
#include "messages.h"
#include "startup.h"
#include "testmain.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QSlider>
#include <QSpinBox>

using namespace conntest;

namespace {

constexpr qint64 pauseAfterTurnOnMs = 200;

QStringList repeated(const QString &line, int times)
{
    QStringList lines;
    for (int i = 0; i < times; ++i)
        lines.append(line);
    return lines;
}

// A window connected to the box at start, with the calls and boxes of the start-up forgotten.
std::unique_ptr<VelmoraFlat> connectedWindow()
{
    fakeports::set({port(QStringLiteral("ttyACM0"), boxVendor)});
    auto window = makeWindow(QStringLiteral("true"));
    fakeflat::clearCalls();
    DialogResponder::instance().clear();
    return window;
}

QCheckBox *lampSwitch(QWidget &window)
{
    return child<QCheckBox>(window, "MT_lampSwitch");
}

// Switches the lamp on (the box accepts at once) and sets the brightness, then forgets the calls.
std::unique_ptr<VelmoraFlat> windowWithLampOn(int brightness)
{
    auto window = connectedWindow();
    lampSwitch(*window)->click();
    child<QSlider>(*window, "MT_lampLevelSlider")->setValue(brightness);
    fakeflat::clearCalls();
    return window;
}

// Sets the value of one brightness control as the user's drag or typing does.
void setControlValue(QWidget &window, const QString &name, int value)
{
    if (auto *slider = window.findChild<QAbstractSlider *>(name))
        slider->setValue(value);
    else if (auto *spinBox = window.findChild<QSpinBox *>(name))
        spinBox->setValue(value);
    else
        QTest::qFail(qPrintable(QStringLiteral("no brightness control %1").arg(name)), __FILE__, __LINE__);
}

} // namespace

class LampControlTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void switchOn_data();
    void switchOn();
    void switchWhileNotConnected_data();
    void switchWhileNotConnected();
    void switchOff_data();
    void switchOff();
    void retryFromFailedStates_data();
    void retryFromFailedStates();
    void brightnessFollows_data();
    void brightnessFollows();
    void brightnessRefused_data();
    void brightnessRefused();
    void brightnessStaysInRange_data();
    void brightnessStaysInRange();
};

void LampControlTest::initTestCase()
{
    setApplicationIdentity();
}

void LampControlTest::init()
{
    fakeflat::reset();
    fakeports::clear();
    DialogResponder::instance().clear();
    forgetPreference();
}

void LampControlTest::switchOn_data()
{
    QTest::addColumn<QList<uint>>("turnOnStatuses");
    QTest::addColumn<uint>("brightnessStatus");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("debugLines");
    QTest::addColumn<bool>("controlsEnabled");

    QTest::newRow("first attempt lights the lamp")
        << QList<uint>{} << 0u << QStringList{"isFlatConnected", "turnOn", "setBrightness(0)"}
        << QStringList{"switch lamp on"} << true;
    QTest::newRow("third attempt lights the lamp")
        << QList<uint>{1, 3} << 0u
        << QStringList{"isFlatConnected", "turnOn", "turnOn", "turnOn", "setBrightness(0)"}
        << QStringList{"retry", "retry", "switch lamp on"} << true;
    QTest::newRow("all three attempts fail")
        << QList<uint>{1, 1, 1} << 0u << QStringList{"isFlatConnected", "turnOn", "turnOn", "turnOn"}
        << QStringList{"retry", "retry", "retry", "switch lamp on error"} << false;
    QTest::newRow("brightness 0 refused, controls enabled all the same")
        << QList<uint>{} << 1u << QStringList{"isFlatConnected", "turnOn", "setBrightness(0)"}
        << QStringList{"switch lamp on"} << true;
}

void LampControlTest::switchOn()
{
    QFETCH(QList<uint>, turnOnStatuses);
    QFETCH(uint, brightnessStatus);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, debugLines);
    QFETCH(bool, controlsEnabled);

    auto window = connectedWindow();
    fakeflat::queueStatuses(QStringLiteral("turnOn"), turnOnStatuses);
    fakeflat::queueStatus(QStringLiteral("setBrightness"), brightnessStatus);
    MessageCapture capture;
    QElapsedTimer clock;
    clock.start();

    lampSwitch(*window)->click();

    const qint64 elapsed = clock.elapsed();
    const int attempts = calls.count(QStringLiteral("turnOn"));
    QVERIFY2(elapsed >= attempts * pauseAfterTurnOnMs,
             qPrintable(QStringLiteral("%1 attempts took only %2 ms").arg(attempts).arg(elapsed)));
    QCOMPARE(deviceCalls(), calls);
    QCOMPARE(capture.debugLines(), debugLines);
    QCOMPARE(enabledStates(*window, lampControls()), uniformStates(lampControls(), controlsEnabled));
    QCOMPARE(brightnessValues(*window), uniformBrightness(0));
    // After three failures the switch stays checked: toggling it again is the user's retry.
    QVERIFY(lampSwitch(*window)->isChecked());
    QVERIFY(lampSwitch(*window)->isEnabled());
    QCOMPARE(shownBoxes(*window), QStringList{});
}

void LampControlTest::switchWhileNotConnected_data()
{
    QTest::addColumn<bool>("lampOnBefore");
    QTest::addColumn<bool>("libraryTellsState");
    QTest::addColumn<QString>("debugLine");

    QTest::newRow("switching on, box gone") << false << true << "lamp on error (not connected)";
    QTest::newRow("switching on, library cannot tell") << false << false << "lamp on error (not connected)";
    QTest::newRow("switching off, box gone") << true << true << "lamp off error (not connected)";
}

void LampControlTest::switchWhileNotConnected()
{
    QFETCH(bool, lampOnBefore);
    QFETCH(bool, libraryTellsState);
    QFETCH(QString, debugLine);

    auto window = lampOnBefore ? windowWithLampOn(180) : connectedWindow();
    const QString controlsBefore = enabledStates(*window, lampControls());
    if (libraryTellsState)
        fakeflat::setConnected(false);
    else
        fakeflat::setReportsConnection(false); // a flag left alone counts as not connected
    QSignalSpy toggles(lampSwitch(*window), &QCheckBox::stateChanged);
    MessageCapture capture;

    lampSwitch(*window)->click();

    // The slot runs once: putting the switch back does not run it again.
    QCOMPARE(deviceCalls(), QStringList{QStringLiteral("isFlatConnected")});
    QCOMPARE(toggles.count(), 1);
    QCOMPARE(capture.debugLines(), QStringList{debugLine});
    QCOMPARE(lampSwitch(*window)->isChecked(), lampOnBefore);
    QCOMPARE(enabledStates(*window, lampControls()), controlsBefore);
    QCOMPARE(brightnessValues(*window), uniformBrightness(lampOnBefore ? 180 : 0));
}

void LampControlTest::switchOff_data()
{
    QTest::addColumn<uint>("firstBrightnessStatus");
    QTest::addColumn<uint>("turnOffStatus");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("debugLines");
    QTest::addColumn<bool>("controlsEnabled");
    QTest::addColumn<int>("brightness");

    // Brightness 0 goes out first from the main slider's slot, then once from each slider as they follow.
    const QStringList sendsZero = {"isFlatConnected", "setBrightness(0)", "setBrightness(0)", "setBrightness(0)",
                                   "turnOff"};

    QTest::newRow("box accepts") << 0u << 0u << sendsZero << QStringList{"switch lamp off"} << false << 0;
    QTest::newRow("turnOff fails") << 0u << 1u << sendsZero << QStringList{"switch lamp off error"} << true << 0;
    QTest::newRow("brightness 0 refused")
        << 1u << 0u << QStringList{"isFlatConnected", "setBrightness(0)", "turnOff"}
        << QStringList{"switch lamp off"} << false << 180;
}

void LampControlTest::switchOff()
{
    QFETCH(uint, firstBrightnessStatus);
    QFETCH(uint, turnOffStatus);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, debugLines);
    QFETCH(bool, controlsEnabled);
    QFETCH(int, brightness);

    auto window = windowWithLampOn(180);
    fakeflat::queueStatus(QStringLiteral("setBrightness"), firstBrightnessStatus);
    fakeflat::queueStatus(QStringLiteral("turnOff"), turnOffStatus);
    MessageCapture capture;

    lampSwitch(*window)->click();

    QCOMPARE(deviceCalls(), calls);
    QCOMPARE(capture.debugLines(), debugLines);
    QCOMPARE(brightnessValues(*window), uniformBrightness(brightness));
    QCOMPARE(enabledStates(*window, lampControls()), uniformStates(lampControls(), controlsEnabled));
    QVERIFY(!lampSwitch(*window)->isChecked());
    QVERIFY(lampSwitch(*window)->isEnabled());
}

void LampControlTest::retryFromFailedStates_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("debugLines");
    QTest::addColumn<bool>("checkedAfter");
    QTest::addColumn<bool>("controlsEnabled");

    QTest::newRow("unchecking after three failed attempts switches off")
        << "turnOn" << QStringList{"isFlatConnected", "setBrightness(0)", "turnOff"}
        << QStringList{"switch lamp off"} << false << false;
    QTest::newRow("checking after a failed switch-off switches on")
        << "turnOff" << QStringList{"isFlatConnected", "turnOn", "setBrightness(0)"}
        << QStringList{"switch lamp on"} << true << true;
}

void LampControlTest::retryFromFailedStates()
{
    QFETCH(QString, failure);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, debugLines);
    QFETCH(bool, checkedAfter);
    QFETCH(bool, controlsEnabled);

    auto window = connectedWindow();
    if (failure == QLatin1String("turnOn")) {
        fakeflat::queueStatuses(QStringLiteral("turnOn"), {1, 1, 1});
        lampSwitch(*window)->click();
    } else {
        lampSwitch(*window)->click();
        fakeflat::queueStatus(QStringLiteral("turnOff"), 1);
        lampSwitch(*window)->click();
    }
    fakeflat::clearCalls();
    MessageCapture capture;

    lampSwitch(*window)->click();

    QCOMPARE(deviceCalls(), calls);
    QCOMPARE(capture.debugLines(), debugLines);
    QCOMPARE(lampSwitch(*window)->isChecked(), checkedAfter);
    QCOMPARE(enabledStates(*window, lampControls()), uniformStates(lampControls(), controlsEnabled));
}

void LampControlTest::brightnessFollows_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<bool>("lampOn");

    for (const QString &name : brightnessControls())
        QTest::newRow(qPrintable(name)) << name << true;
    // No slot looks at the lamp before sending; the box's answer alone decides.
    QTest::newRow("ST_lampLevelSlider while the lamp is off") << QStringLiteral("ST_lampLevelSlider") << false;
}

void LampControlTest::brightnessFollows()
{
    QFETCH(QString, control);
    QFETCH(bool, lampOn);

    auto window = lampOn ? windowWithLampOn(0) : connectedWindow();

    setControlValue(*window, control, 120);

    QCOMPARE(deviceCalls(), repeated(QStringLiteral("setBrightness(120)"), 2));
    QCOMPARE(brightnessValues(*window), uniformBrightness(120));

    // The same value again changes nothing and sends nothing.
    fakeflat::clearCalls();
    setControlValue(*window, control, 120);
    QCOMPARE(deviceCalls(), QStringList{});
}

void LampControlTest::brightnessRefused_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QList<uint>>("statuses");
    QTest::addColumn<int>("calls");
    QTest::addColumn<QString>("values");

    const auto values = [](int mtSlider, int mtSpin, int stSlider, int stSpin) {
        return QStringLiteral("MT_lampLevelSlider=%1 MT_lampLevelSpinBox=%2 ST_lampLevelSlider=%3 "
                              "ST_lampLevelSpinBox=%4")
            .arg(mtSlider)
            .arg(mtSpin)
            .arg(stSlider)
            .arg(stSpin);
    };

    QTest::newRow("main slider refused") << "MT_lampLevelSlider" << QList<uint>{1} << 1 << values(120, 50, 50, 50);
    QTest::newRow("settings slider refused")
        << "ST_lampLevelSlider" << QList<uint>{1} << 1 << values(50, 50, 120, 50);
    // The spin box moves both sliders itself; each slider keeps what it was given.
    QTest::newRow("main spin box, both sliders refused")
        << "MT_lampLevelSpinBox" << QList<uint>{1, 1} << 2 << values(120, 120, 120, 50);
    QTest::newRow("main spin box, main slider refused, settings slider accepted")
        << "MT_lampLevelSpinBox" << QList<uint>{1, 0} << 2 << values(120, 120, 120, 120);
}

void LampControlTest::brightnessRefused()
{
    QFETCH(QString, control);
    QFETCH(QList<uint>, statuses);
    QFETCH(int, calls);
    QFETCH(QString, values);

    auto window = windowWithLampOn(50);
    fakeflat::queueStatuses(QStringLiteral("setBrightness"), statuses);
    MessageCapture capture;

    setControlValue(*window, control, 120);

    QCOMPARE(deviceCalls(), repeated(QStringLiteral("setBrightness(120)"), calls));
    QCOMPARE(brightnessValues(*window), values);
    QCOMPARE(capture.debugLines(), QStringList{});
}

void LampControlTest::brightnessStaysInRange_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("requested");
    QTest::addColumn<int>("sent");

    QTest::newRow("main spin box above range") << "MT_lampLevelSpinBox" << 300 << 255;
    QTest::newRow("settings slider above range") << "ST_lampLevelSlider" << 1000 << 255;
    QTest::newRow("main slider below range") << "MT_lampLevelSlider" << -20 << 0;
    QTest::newRow("settings spin box below range") << "ST_lampLevelSpinBox" << -1 << 0;
}

void LampControlTest::brightnessStaysInRange()
{
    QFETCH(QString, control);
    QFETCH(int, requested);
    QFETCH(int, sent);

    auto window = windowWithLampOn(50);

    setControlValue(*window, control, requested);

    QCOMPARE(deviceCalls(), repeated(QStringLiteral("setBrightness(%1)").arg(sent), 2));
    QCOMPARE(brightnessValues(*window), uniformBrightness(sent));
}

VELMORA_TEST_MAIN(LampControlTest)
#include "tst_lampcontrol.moc"
