// The search for the flat box among the serial ports, the manual connect and disconnect, and the
// automatic-search preference.

#include "connectiontest.h"
#include "messages.h"
#include "startup.h"
#include "testmain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QSlider>

using namespace conntest;

namespace {

const QString connectedText = QStringLiteral(" FLAT BOX CONNECTED ");
const QString disconnectedText = QStringLiteral(" FLAT BOX DISCONNECTED ");
const QString statusBeforePress = QStringLiteral("status before the press");

QString noPortBox()
{
    return box(QStringLiteral("warning"), QStringLiteral("Serial Port Search Failed"),
               QStringLiteral("No serial port found. Please check the VELMORA flat box connection cable and power "
                              "supply"));
}

QString noBoxBox()
{
    return box(QStringLiteral("warning"), QStringLiteral("Automatic Connection Failed"),
               QStringLiteral("Flat Box serial port not found. Please check the VELMORA flat box connection cable "
                              "and power supply"));
}

QString connectRefusedBox()
{
    return box(QStringLiteral("critical"), QStringLiteral("Connection Error"),
               QStringLiteral("Flat Box connection problem or wrong communication port. Please retry"));
}

QString disconnectRefusedBox()
{
    return box(QStringLiteral("critical"), QStringLiteral("Connection Error"),
               QStringLiteral("Flat Box disconnection problem. Please retry"));
}

QStringList portNames(const QList<SerialPortEntry> &ports)
{
    QStringList names;
    for (const SerialPortEntry &entry : ports)
        names.append(entry.name);
    return names;
}

QStringList comboItems(QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items.append(combo->itemText(i));
    return items;
}

QString lampControlsExceptSpinBoxes(bool enabled)
{
    QStringList states;
    for (const QString &name : lampControls()) {
        const bool on = name.endsWith(QLatin1String("SpinBox")) ? false : enabled;
        states.append(name + (on ? QStringLiteral("=on") : QStringLiteral("=off")));
    }
    return states.join(QLatin1Char(' '));
}

// Own enabled flag of every named widget of the window (independent of the parents' state).
QMap<QString, bool> ownEnabledFlags(QWidget &window)
{
    QMap<QString, bool> flags;
    const auto widgets = window.findChildren<QWidget *>();
    for (QWidget *widget : widgets)
        if (!widget->objectName().isEmpty() && !widget->objectName().startsWith(QLatin1String("qt_")))
            flags.insert(widget->objectName(), !widget->testAttribute(Qt::WA_Disabled));
    return flags;
}

QStringList changedNames(const QMap<QString, bool> &before, const QMap<QString, bool> &after)
{
    QStringList changed;
    for (auto it = after.cbegin(); it != after.cend(); ++it)
        if (before.value(it.key()) != it.value())
            changed.append(it.key());
    return changed;
}

} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void startupSearch_data();
    void startupSearch();
    void searchButton_data();
    void searchButton();
    void manualConnect_data();
    void manualConnect();
    void disconnectBox_data();
    void disconnectBox();
    void preferenceWrite_data();
    void preferenceWrite();
    void preferenceFollowsUserClicks();
    void lampControlsAreExactlyTheFifteen();
};

void ConnectionTest::initTestCase()
{
    setApplicationIdentity();
}

void ConnectionTest::init()
{
    fakeflat::reset();
    fakeports::clear();
    DialogResponder::instance().clear();
    forgetPreference();
}

void ConnectionTest::startupSearch_data()
{
    QTest::addColumn<QString>("preference");
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<QList<uint>>("connectStatuses");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("debugLines");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("currentPort");
    QTest::addColumn<bool>("connected");

    const SerialPortEntry acm0 = port(QStringLiteral("ttyACM0"), boxVendor);
    const SerialPortEntry acm1 = port(QStringLiteral("ttyACM1"), boxVendor);
    const SerialPortEntry s0 = port(QStringLiteral("ttyS0"), 0);
    const SerialPortEntry usb0 = port(QStringLiteral("ttyUSB0"), 0x0403);
    const QString acm0Name = acm0.name, acm1Name = acm1.name, s0Name = s0.name, usb0Name = usb0.name;

    QTest::newRow("preference true, one box port answers")
        << "true" << QList<SerialPortEntry>{acm0} << QList<uint>{} << QStringList{"connect(ttyACM0, false)", "readState"}
        << (portLines(acm0Name, boxVendor) + QStringList{connectToLine(acm0Name), "connection accomplished"}
            + preferenceLines("true"))
        << QStringList{} << acm0Name << true;

    QTest::newRow("box listed after other vendors' ports")
        << "true" << QList<SerialPortEntry>{s0, usb0, acm0} << QList<uint>{}
        << QStringList{"connect(ttyACM0, false)", "readState"}
        << (portLines(s0Name, 0) + portLines(usb0Name, 0x0403) + portLines(acm0Name, boxVendor)
            + QStringList{connectToLine(s0Name), connectToLine(usb0Name), connectToLine(acm0Name),
                          "connection accomplished"}
            + preferenceLines("true"))
        << QStringList{} << acm0Name << true;

    QTest::newRow("first box port refuses, second answers")
        << "true" << QList<SerialPortEntry>{acm0, acm1} << QList<uint>{1}
        << QStringList{"connect(ttyACM0, false)", "disconnect", "connect(ttyACM1, false)", "readState"}
        << (portLines(acm0Name, boxVendor) + portLines(acm1Name, boxVendor)
            + QStringList{connectToLine(acm0Name), "connection failed", connectToLine(acm1Name),
                          "connection accomplished"}
            + preferenceLines("true"))
        << QStringList{} << acm1Name << true;

    QTest::newRow("later ports are not tried after a connection")
        << "true" << QList<SerialPortEntry>{acm0, acm1} << QList<uint>{}
        << QStringList{"connect(ttyACM0, false)", "readState"}
        << (portLines(acm0Name, boxVendor) + portLines(acm1Name, boxVendor)
            + QStringList{connectToLine(acm0Name), "connection accomplished"} + preferenceLines("true"))
        << QStringList{} << acm0Name << true;

    QTest::newRow("every box port refuses")
        << "true" << QList<SerialPortEntry>{acm0, acm1} << QList<uint>{1, 2}
        << QStringList{"connect(ttyACM0, false)", "disconnect", "connect(ttyACM1, false)", "disconnect"}
        << (portLines(acm0Name, boxVendor) + portLines(acm1Name, boxVendor)
            + QStringList{connectToLine(acm0Name), "connection failed", connectToLine(acm1Name),
                          "connection failed"})
        << QStringList{noBoxBox()} << acm0Name << false;

    QTest::newRow("other vendors only, preference true")
        << "true" << QList<SerialPortEntry>{s0, usb0} << QList<uint>{} << QStringList{}
        << (portLines(s0Name, 0) + portLines(usb0Name, 0x0403)
            + QStringList{connectToLine(s0Name), connectToLine(usb0Name)})
        << QStringList{noBoxBox()} << s0Name << false;

    QTest::newRow("other vendors only, preference false")
        << "false" << QList<SerialPortEntry>{s0, usb0} << QList<uint>{} << QStringList{}
        << (portLines(s0Name, 0) + portLines(usb0Name, 0x0403)) << QStringList{} << s0Name << false;

    QTest::newRow("box present, no preference stored")
        << QString() << QList<SerialPortEntry>{acm0} << QList<uint>{} << QStringList{}
        << portLines(acm0Name, boxVendor) << QStringList{} << acm0Name << false;

    QTest::newRow("box present, preference in other case")
        << "True" << QList<SerialPortEntry>{acm0} << QList<uint>{} << QStringList{}
        << portLines(acm0Name, boxVendor) << QStringList{} << acm0Name << false;

    QTest::newRow("no port, preference false")
        << "false" << QList<SerialPortEntry>{} << QList<uint>{} << QStringList{} << QStringList{}
        << QStringList{noPortBox()} << QString() << false;

    QTest::newRow("no port, preference true")
        << "true" << QList<SerialPortEntry>{} << QList<uint>{} << QStringList{} << QStringList{}
        << QStringList{noPortBox()} << QString() << false;
}

void ConnectionTest::startupSearch()
{
    QFETCH(QString, preference);
    QFETCH(QList<SerialPortEntry>, ports);
    QFETCH(QList<uint>, connectStatuses);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, debugLines);
    QFETCH(QStringList, boxes);
    QFETCH(QString, currentPort);
    QFETCH(bool, connected);

    fakeports::set(ports);
    fakeflat::queueStatuses(QStringLiteral("connect"), connectStatuses);
    MessageCapture capture;
    auto window = makeWindow(preference);

    // The information tab asks for the library version right after the search.
    QCOMPARE(deviceCalls(), calls + QStringList{QStringLiteral("getAPIversion")});
    QCOMPARE(capture.debugLines(), debugLines);
    QCOMPARE(shownBoxes(*window), boxes);

    auto *combo = child<QComboBox>(*window, "MT_serialCombo");
    QCOMPARE(comboItems(combo), portNames(ports));
    QCOMPARE(combo->currentText(), currentPort);
    QCOMPARE(enabledStates(*window, connectionControls()), connectionState(connected));
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), connected ? connectedText : disconnectedText);
    // A successful search turns the preference on; the failed start-up search finds the box unchecked already.
    QCOMPARE(child<QCheckBox>(*window, "ST_autoSearch")->isChecked(), connected);
    QCOMPARE(storedPreference(), connected ? QStringLiteral("true") : QStringLiteral("<absent>"));
    QVERIFY(!child<QCheckBox>(*window, "MT_lampSwitch")->isChecked());
}

void ConnectionTest::searchButton_data()
{
    QTest::addColumn<bool>("checkedBefore");
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<QList<uint>>("connectStatuses");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("debugLines");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("currentPort");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("checkedAfter");
    QTest::addColumn<QString>("stored");

    const SerialPortEntry acm0 = port(QStringLiteral("ttyACM0"), boxVendor);
    const SerialPortEntry s0 = port(QStringLiteral("ttyS0"), 0);
    const QString acm0Name = acm0.name, s0Name = s0.name;

    QTest::newRow("no port, preference on")
        << true << QList<SerialPortEntry>{} << QList<uint>{} << QStringList{} << QStringList{}
        << QStringList{noPortBox()} << QString() << statusBeforePress << false << true << "true";

    QTest::newRow("no port, preference off")
        << false << QList<SerialPortEntry>{} << QList<uint>{} << QStringList{} << QStringList{}
        << QStringList{noPortBox()} << QString() << statusBeforePress << false << false << "<absent>";

    QTest::newRow("box refuses, preference on")
        << true << QList<SerialPortEntry>{s0, acm0} << QList<uint>{1}
        << QStringList{"connect(ttyACM0, false)", "disconnect"}
        << (portLines(s0Name, 0) + portLines(acm0Name, boxVendor)
            + QStringList{connectToLine(s0Name), connectToLine(acm0Name), "connection failed"}
            + preferenceLines("false"))
        << QStringList{noBoxBox()} << s0Name << disconnectedText << false << false << "false";

    QTest::newRow("box answers, preference off")
        << false << QList<SerialPortEntry>{s0, acm0} << QList<uint>{}
        << QStringList{"connect(ttyACM0, false)", "readState"}
        << (portLines(s0Name, 0) + portLines(acm0Name, boxVendor)
            + QStringList{connectToLine(s0Name), connectToLine(acm0Name), "connection accomplished"}
            + preferenceLines("true"))
        << QStringList{} << acm0Name << connectedText << true << true << "true";

    QTest::newRow("box answers, preference already on")
        << true << QList<SerialPortEntry>{acm0} << QList<uint>{} << QStringList{"connect(ttyACM0, false)", "readState"}
        << (portLines(acm0Name, boxVendor) + QStringList{connectToLine(acm0Name), "connection accomplished"})
        << QStringList{} << acm0Name << connectedText << true << true << "true";
}

void ConnectionTest::searchButton()
{
    QFETCH(bool, checkedBefore);
    QFETCH(QList<SerialPortEntry>, ports);
    QFETCH(QList<uint>, connectStatuses);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, debugLines);
    QFETCH(QStringList, boxes);
    QFETCH(QString, currentPort);
    QFETCH(QString, status);
    QFETCH(bool, connected);
    QFETCH(bool, checkedAfter);
    QFETCH(QString, stored);

    // A port that the new search no longer lists: the list must be rebuilt from scratch.
    fakeports::set({port(QStringLiteral("ttyGone"), 0)});
    auto window = makeWindow(QString());
    auto *autoSearch = child<QCheckBox>(*window, "ST_autoSearch");
    if (checkedBefore)
        autoSearch->click();
    VelmoraFlatTestAccess::statusLabel(*window).setText(statusBeforePress);

    fakeports::set(ports);
    fakeflat::queueStatuses(QStringLiteral("connect"), connectStatuses);
    fakeflat::clearCalls();
    DialogResponder::instance().clear();
    MessageCapture capture;
    pressButton(*window, "ST_connectButton");

    QCOMPARE(deviceCalls(), calls);
    QCOMPARE(capture.debugLines(), debugLines);
    QCOMPARE(shownBoxes(*window), boxes);
    auto *combo = child<QComboBox>(*window, "MT_serialCombo");
    QCOMPARE(comboItems(combo), portNames(ports));
    QCOMPARE(combo->currentText(), currentPort);
    QCOMPARE(enabledStates(*window, connectionControls()), connectionState(connected));
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), status);
    QCOMPARE(autoSearch->isChecked(), checkedAfter);
    QCOMPARE(storedPreference(), stored);
}

void ConnectionTest::manualConnect_data()
{
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<int>("chosenIndex"); // -1: leave the combo box as the search left it
    QTest::addColumn<uint>("connectStatus");
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QStringList>("boxes");

    const SerialPortEntry acm0 = port(QStringLiteral("ttyACM0"), boxVendor);
    const SerialPortEntry s0 = port(QStringLiteral("ttyS0"), 0);
    const SerialPortEntry usb0 = port(QStringLiteral("ttyUSB0"), 0x0403);

    QTest::newRow("chosen box port answers")
        << QList<SerialPortEntry>{s0, acm0} << 1 << 0u << "connect(ttyACM0, false)" << true << QStringList{};
    QTest::newRow("another vendor's port is tried")
        << QList<SerialPortEntry>{s0, acm0} << 0 << 0u << "connect(ttyS0, false)" << true << QStringList{};
    QTest::newRow("nothing chosen: the first listed port")
        << QList<SerialPortEntry>{usb0, acm0} << -1 << 0u << "connect(ttyUSB0, false)" << true << QStringList{};
    QTest::newRow("refused")
        << QList<SerialPortEntry>{acm0} << -1 << 1u << "connect(ttyACM0, false)" << false
        << QStringList{connectRefusedBox()};
    QTest::newRow("no port listed: empty name")
        << QList<SerialPortEntry>{} << -1 << 2u << "connect(, false)" << false << QStringList{connectRefusedBox()};
}

void ConnectionTest::manualConnect()
{
    QFETCH(QList<SerialPortEntry>, ports);
    QFETCH(int, chosenIndex);
    QFETCH(uint, connectStatus);
    QFETCH(QString, call);
    QFETCH(bool, connected);
    QFETCH(QStringList, boxes);

    fakeports::set(ports);
    auto window = makeWindow(QStringLiteral("false"));
    if (chosenIndex >= 0)
        child<QComboBox>(*window, "MT_serialCombo")->setCurrentIndex(chosenIndex);
    VelmoraFlatTestAccess::statusLabel(*window).setText(statusBeforePress);
    fakeflat::queueStatus(QStringLiteral("connect"), connectStatus);
    fakeflat::clearCalls();
    DialogResponder::instance().clear();
    MessageCapture capture;

    pressButton(*window, "MT_serialConnect");

    // A refused connect is not followed by a disconnect; a connected box is asked for its lamp.
    const QStringList calls = connected ? QStringList{call, QStringLiteral("readState")} : QStringList{call};
    QCOMPARE(deviceCalls(), calls);
    QCOMPARE(shownBoxes(*window), boxes);
    QCOMPARE(capture.debugLines(), QStringList{});
    QCOMPARE(enabledStates(*window, connectionControls()), connectionState(connected));
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), connected ? connectedText : statusBeforePress);
    // The manual connect leaves the preference alone.
    QVERIFY(!child<QCheckBox>(*window, "ST_autoSearch")->isChecked());
    QCOMPARE(storedPreference(), QStringLiteral("<absent>"));
}

void ConnectionTest::disconnectBox_data()
{
    QTest::addColumn<bool>("lampOn");
    QTest::addColumn<uint>("turnOffStatus");
    QTest::addColumn<uint>("disconnectStatus");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("debugLines");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("lampControlStates");
    QTest::addColumn<int>("brightness");

    // Zeroing the spin boxes sends 0 once from each slider's slot.
    const QStringList zeroed = {"turnOff", "disconnect", "setBrightness(0)", "setBrightness(0)"};

    QTest::newRow("lamp on, box lets go")
        << true << 0u << 0u << zeroed << QStringList{"switch lamp off"} << QStringList{} << false
        << uniformStates(lampControls(), false) << 0;
    QTest::newRow("lamp on, turnOff fails, box lets go")
        << true << 1u << 0u << zeroed << QStringList{"switch lamp off error"} << QStringList{} << false
        << lampControlsExceptSpinBoxes(true) << 0;
    QTest::newRow("lamp on, disconnect refused")
        << true << 0u << 1u << QStringList{"turnOff", "disconnect"} << QStringList{"switch lamp off"}
        << QStringList{disconnectRefusedBox()} << true << uniformStates(lampControls(), false) << 180;
    QTest::newRow("lamp on, both refused")
        << true << 1u << 1u << QStringList{"turnOff", "disconnect"} << QStringList{"switch lamp off error"}
        << QStringList{disconnectRefusedBox()} << true << uniformStates(lampControls(), true) << 180;
    QTest::newRow("lamp off, box lets go")
        << false << 0u << 0u << QStringList{"turnOff", "disconnect"} << QStringList{"switch lamp off"}
        << QStringList{} << false << uniformStates(lampControls(), false) << 0;
}

void ConnectionTest::disconnectBox()
{
    QFETCH(bool, lampOn);
    QFETCH(uint, turnOffStatus);
    QFETCH(uint, disconnectStatus);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, debugLines);
    QFETCH(QStringList, boxes);
    QFETCH(bool, connected);
    QFETCH(QString, lampControlStates);
    QFETCH(int, brightness);

    fakeports::set({port(QStringLiteral("ttyACM0"), boxVendor)});
    auto window = makeWindow(QStringLiteral("true"));
    auto *lampSwitch = child<QCheckBox>(*window, "MT_lampSwitch");
    if (lampOn) {
        lampSwitch->click();
        child<QSlider>(*window, "MT_lampLevelSlider")->setValue(180);
    }
    fakeflat::queueStatus(QStringLiteral("turnOff"), turnOffStatus);
    fakeflat::queueStatus(QStringLiteral("disconnect"), disconnectStatus);
    fakeflat::clearCalls();
    DialogResponder::instance().clear();
    MessageCapture capture;

    pressButton(*window, "MT_serialDisconnect");

    // No isFlatConnected: the lamp switch's own slot does not run.
    QCOMPARE(deviceCalls(), calls);
    QCOMPARE(capture.debugLines(), debugLines);
    QCOMPARE(shownBoxes(*window), boxes);
    QCOMPARE(enabledStates(*window, connectionControls()), connectionState(connected));
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), connected ? connectedText : disconnectedText);
    QCOMPARE(enabledStates(*window, lampControls()), lampControlStates);
    QCOMPARE(brightnessValues(*window), uniformBrightness(brightness));
    QCOMPARE(lampSwitch->isChecked(), lampOn && connected);
    // The disconnect leaves the preference alone.
    QVERIFY(child<QCheckBox>(*window, "ST_autoSearch")->isChecked());
    QCOMPARE(storedPreference(), QStringLiteral("true"));
}

void ConnectionTest::preferenceWrite_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("value");

    QTest::newRow("checked") << int(Qt::Checked) << "true";
    QTest::newRow("unchecked") << int(Qt::Unchecked) << "false";
    QTest::newRow("partially checked") << int(Qt::PartiallyChecked) << "false";
}

void ConnectionTest::preferenceWrite()
{
    QFETCH(int, state);
    QFETCH(QString, value);

    auto window = makeWindow(QString());
    MessageCapture capture;
    QVERIFY(QMetaObject::invokeMethod(window.get(), "on_ST_autoSearch_stateChanged", Q_ARG(int, state)));

    QCOMPARE(capture.debugLines(), preferenceLines(value));
    QCOMPARE(storedPreference(), value);
    QCOMPARE(QSettings().value(QStringLiteral("auto_search")).userType(), int(QMetaType::QString));
}

void ConnectionTest::preferenceFollowsUserClicks()
{
    auto window = makeWindow(QString());
    auto *autoSearch = child<QCheckBox>(*window, "ST_autoSearch");
    MessageCapture capture;

    autoSearch->click();
    QCOMPARE(storedPreference(), QStringLiteral("true"));
    autoSearch->click();
    QCOMPARE(storedPreference(), QStringLiteral("false"));
    QCOMPARE(capture.debugLines(), preferenceLines("true") + preferenceLines("false"));
}

void ConnectionTest::lampControlsAreExactlyTheFifteen()
{
    auto window = makeWindow(QString());
    const QMap<QString, bool> atStart = ownEnabledFlags(*window);
    QStringList expected = lampControls();
    expected.sort();

    VelmoraFlatTestAccess::setLampControlsEnabled(*window, true);
    QCOMPARE(changedNames(atStart, ownEnabledFlags(*window)), expected);
    QCOMPARE(enabledStates(*window, lampControls()), uniformStates(lampControls(), true));

    VelmoraFlatTestAccess::setLampControlsEnabled(*window, false);
    QCOMPARE(changedNames(atStart, ownEnabledFlags(*window)), QStringList{});
}

VELMORA_TEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
