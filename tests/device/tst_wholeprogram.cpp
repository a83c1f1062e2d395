// The whole program: the real window, the real device library and the real port listing,
// driving the box simulator on a pseudo-terminal.
#include "devicetest.h"
#include "dialogs.h"
#include "flatboxsim.h"
#include "messages.h"
#include "testmain.h"
#include "velmora/flat.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSerialPort>
#include <QSlider>
#include <QSpinBox>

namespace {

// The window built as start-up builds it, with the simulator's pty listed as a box port.
std::unique_ptr<VelmoraFlat> windowFor(const FlatBoxSim &box, const QString &autoSearch = QStringLiteral("true"))
{
    qputenv("VELMORA_FLAT_EXTRA_PORTS", box.portName());
    DialogResponder::instance().clear();
    return makeWindow(autoSearch);
}

QCheckBox *lampSwitch(QWidget &window)
{
    return child<QCheckBox>(window, "MT_lampSwitch");
}

QStringList brightnessValues(QWidget &window)
{
    return {QString::number(child<QSlider>(window, "MT_lampLevelSlider")->value()),
            QString::number(child<QSpinBox>(window, "MT_lampLevelSpinBox")->value()),
            QString::number(child<QSlider>(window, "ST_lampLevelSlider")->value()),
            QString::number(child<QSpinBox>(window, "ST_lampLevelSpinBox")->value())};
}

// No one holds the port any more: another client can open it.
bool portIsFree(const QString &path)
{
    QSerialPort port(path);
    const bool opened = port.open(QIODevice::ReadWrite);
    port.close();
    return opened;
}

bool deviceConnected(VelmoraFlat &window)
{
    bool connected = false;
    VelmoraFlatTestAccess::device(window)->isFlatConnected(connected);
    return connected;
}

} // namespace

class WholeProgramTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void connectsToTheBoxAtStart_data();
    void connectsToTheBoxAtStart();
    void lampSwitchLightsTheLampAtBrightnessZero();
    void brightnessChangesReachTheBox_data();
    void brightnessChangesReachTheBox();
    void disconnectSwitchesOffAndClosesThePort();
    void closingTheWindowSwitchesTheLampOff();
    void refusedLightOnEndsInSwitchError();
    void boxUnpluggedWhileIdleIsNotConnected();
};

void WholeProgramTest::cleanup()
{
    qunsetenv("VELMORA_FLAT_EXTRA_PORTS");
}

// Each terminator dialect, found by the search at start.
void WholeProgramTest::connectsToTheBoxAtStart_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("versionQuery");
    QTest::newRow("classic") << QStringList() << ">V000";
    QTest::newRow("LF, draining") << QStringList{"--terminator", "lf", "--filler", "digit", "--drain"} << ">V000";
    QTest::newRow("CR, letters, draining, booting")
        << QStringList{"--terminator", "cr", "--filler", "letter", "--drain", "--boot-delay-ms", "1000"} << ">VOOO";
}

void WholeProgramTest::connectsToTheBoxAtStart()
{
    QFETCH(QStringList, options);
    QFETCH(QString, versionQuery);
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    auto window = windowFor(box);
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX CONNECTED "));
    QCOMPARE(child<QComboBox>(*window, "MT_serialCombo")->currentText(), box.port());
    QVERIFY(child<QCheckBox>(*window, "ST_autoSearch")->isChecked());
    QVERIFY(lampSwitch(*window)->isEnabled());
    QVERIFY(DialogResponder::instance().shownMessageBoxes().isEmpty());
    QVERIFY2(box.accepted().contains(versionQuery), qPrintable(box.received().join(", ")));
}

void WholeProgramTest::lampSwitchLightsTheLampAtBrightnessZero()
{
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    auto window = windowFor(box);
    MessageCapture capture;
    lampSwitch(*window)->click();
    // The connect reads the lamp (">S000", ">J000"); the switch asks whether the box is connected, then lights it.
    QCOMPARE(box.accepted(), (devicetest::handshake() + QStringList{">S000", ">J000", ">S000", ">L000", ">B000"}));
    QVERIFY(capture.debugLines().contains(QStringLiteral("switch lamp on")));
    QVERIFY(child<QSlider>(*window, "MT_lampLevelSlider")->isEnabled());
    QCOMPARE(brightnessValues(*window), (QStringList{"0", "0", "0", "0"}));
}

void WholeProgramTest::brightnessChangesReachTheBox_data()
{
    QTest::addColumn<QString>("control");
    QTest::newRow("main slider") << "MT_lampLevelSlider";
    QTest::newRow("main spin box") << "MT_lampLevelSpinBox";
    QTest::newRow("settings slider") << "ST_lampLevelSlider";
    QTest::newRow("settings spin box") << "ST_lampLevelSpinBox";
}

// Both sliders send every change; the box hears it once.
void WholeProgramTest::brightnessChangesReachTheBox()
{
    QFETCH(QString, control);
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    auto window = windowFor(box);
    lampSwitch(*window)->click();
    const int before = box.accepted().size();
    if (auto *slider = window->findChild<QSlider *>(control))
        slider->setValue(120);
    else
        child<QSpinBox>(*window, qPrintable(control))->setValue(120);
    QCOMPARE(box.accepted().mid(before), QStringList{">B120"});
    QCOMPARE(brightnessValues(*window), (QStringList{"120", "120", "120", "120"}));
}

void WholeProgramTest::disconnectSwitchesOffAndClosesThePort()
{
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    auto window = windowFor(box);
    lampSwitch(*window)->click();
    child<QSlider>(*window, "MT_lampLevelSlider")->setValue(80);
    const int before = box.accepted().size();
    pressButton(*window, "MT_serialDisconnect");
    QCOMPARE(box.accepted().mid(before), QStringList{">D000"});
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX DISCONNECTED "));
    QVERIFY(!lampSwitch(*window)->isChecked());
    QCOMPARE(brightnessValues(*window), (QStringList{"0", "0", "0", "0"}));
    QVERIFY(portIsFree(box.port()));
}

void WholeProgramTest::closingTheWindowSwitchesTheLampOff()
{
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    auto window = windowFor(box);
    lampSwitch(*window)->click();
    const int before = box.accepted().size();
    window->close();
    QCOMPARE(box.accepted().mid(before), (QStringList{">S000", ">D000"}));
    QVERIFY(portIsFree(box.port()));
}

void WholeProgramTest::refusedLightOnEndsInSwitchError()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--refuse-light-on", "3"}), qPrintable(box.errorText()));
    auto window = windowFor(box);
    MessageCapture capture;
    lampSwitch(*window)->click();
    QCOMPARE(box.accepted(),
             (devicetest::handshake() + QStringList{">S000", ">J000", ">S000", ">L000", ">L000", ">L000"}));
    const QStringList expectedLines{"retry", "retry", "retry", "switch lamp on error"};
    QCOMPARE(capture.debugLines(), expectedLines);
    QVERIFY(lampSwitch(*window)->isChecked());
    QVERIFY(!child<QSlider>(*window, "MT_lampLevelSlider")->isEnabled());
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX CONNECTED "));
    QVERIFY(deviceConnected(*window));
}

// The cable pulled while the window waits: the controller hears it at once, and the window shows the box gone
// before the user can try the switch.
void WholeProgramTest::boxUnpluggedWhileIdleIsNotConnected()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--unplug-after", devicetest::afterHandshake()}), qPrintable(box.errorText()));
    auto window = windowFor(box);
    QTRY_VERIFY(!lampSwitch(*window)->isEnabled());
    MessageCapture capture;
    lampSwitch(*window)->click();
    QCOMPARE(capture.debugLines(), QStringList());
    QVERIFY(!lampSwitch(*window)->isChecked());
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX DISCONNECTED "));
    QVERIFY(!deviceConnected(*window));
}

VELMORA_TEST_MAIN(WholeProgramTest)
#include "tst_wholeprogram.moc"
