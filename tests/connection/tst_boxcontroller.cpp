// The box's controller with the device library's test double: the states it goes through, the device calls it
// makes on its worker thread, and the lamp it reports, for every operation from a connected or a free box.
#include "boxcontroller.h"
#include "boxwatcher.h"
#include "connectiontest.h"
#include "messages.h"
#include "testmain.h"

#include <QMetaEnum>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace conntest;

namespace {

QString stateName(int state)
{
    return QString::fromLatin1(QMetaEnum::fromType<BoxController::State>().valueToKey(state));
}

QString lampText(const BoxController &controller)
{
    return QStringLiteral("switched %1, %2")
        .arg(controller.lampSwitchedOn() ? "on" : "off", controller.lampOn() ? "lit" : "dark");
}

// Runs the controller's event loop until no operation is under way.
bool settle(BoxController &controller)
{
    QCoreApplication::processEvents();
    return QTest::qWaitFor([&] { return !controller.isBusy(); }, 5000);
}

} // namespace

class BoxControllerTest : public QObject
{
    Q_OBJECT

private slots:
    void transitions_data();
    void transitions();
    void commandsWaitForTheOperationUnderWay();
    void connectReadsTheLamp_data();
    void connectReadsTheLamp();
};

void BoxControllerTest::transitions_data()
{
    QTest::addColumn<QString>("start");         // "free", "connected", "lit" (connected with the lamp on at 90)
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("statuses");  // "op=status" queued before the operation
    QTest::addColumn<QStringList>("states");    // the states entered, in order
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("lamp");
    QTest::addColumn<QStringList>("lines");     // debug lines of the operation

    const QString dark = QStringLiteral("switched off, dark");
    QTest::newRow("search finds the box") << "free" << "search" << QStringList() << QStringList{"Searching", "Connected"}
                                          << QStringList{"connect(ttyACM0, false)", "readState"} << dark
                                          << QStringList{"connect to  \"ttyS0\"", "connect to  \"ttyACM0\"",
                                                         "connection accomplished"};
    QTest::newRow("search, the box does not report its lamp")
        << "free" << "search" << QStringList{"readState=3"} << QStringList{"Searching", "Disconnected"}
        << QStringList{"connect(ttyACM0, false)", "readState", "disconnect"} << dark
        << QStringList{"connect to  \"ttyS0\"", "connect to  \"ttyACM0\"", "connection failed"};
    QTest::newRow("search, the box does not answer")
        << "free" << "search" << QStringList{"connect=3"} << QStringList{"Searching", "Disconnected"}
        << QStringList{"connect(ttyACM0, false)", "disconnect"} << dark
        << QStringList{"connect to  \"ttyS0\"", "connect to  \"ttyACM0\"", "connection failed"};
    QTest::newRow("connect a port") << "free" << "connect" << QStringList() << QStringList{"Connecting", "Connected"}
                                    << QStringList{"connect(ttyS0, false)", "readState"} << dark << QStringList();
    QTest::newRow("connect, the box does not report its lamp")
        << "free" << "connect" << QStringList{"readState=4"} << QStringList{"Connecting", "Disconnected"}
        << QStringList{"connect(ttyS0, false)", "readState", "disconnect"} << dark << QStringList();
    QTest::newRow("connect refused") << "free" << "connect" << QStringList{"connect=2"}
                                     << QStringList{"Connecting", "Disconnected"} << QStringList{"connect(ttyS0, false)"}
                                     << dark << QStringList();
    QTest::newRow("lamp on, first attempt") << "connected" << "lamp on" << QStringList() << QStringList()
                                            << QStringList{"turnOn"} << "switched on, lit"
                                            << QStringList{"switch lamp on"};
    QTest::newRow("lamp on, third attempt") << "connected" << "lamp on" << QStringList{"turnOn=3", "turnOn=3"}
                                            << QStringList() << QStringList{"turnOn", "turnOn", "turnOn"}
                                            << "switched on, lit" << QStringList{"retry", "retry", "switch lamp on"};
    QTest::newRow("lamp on, three failures") << "connected" << "lamp on" << QStringList{"turnOn=3", "turnOn=3", "turnOn=3"}
                                             << QStringList() << QStringList{"turnOn", "turnOn", "turnOn"}
                                             << "switched on, dark"
                                             << QStringList{"retry", "retry", "retry", "switch lamp on error"};
    QTest::newRow("light at a level") << "connected" << "light 150" << QStringList() << QStringList()
                                      << QStringList{"setBrightness(150)", "turnOn"} << "switched on, lit"
                                      << QStringList{"switch lamp on"};
    QTest::newRow("light at a level, third attempt")
        << "connected" << "light 150" << QStringList{"turnOn=3", "turnOn=3"} << QStringList()
        << QStringList{"setBrightness(150)", "turnOn", "turnOn", "turnOn"} << "switched on, lit"
        << QStringList{"retry", "retry", "switch lamp on"};
    QTest::newRow("light at a level, three failures")
        << "connected" << "light 150" << QStringList{"turnOn=3", "turnOn=3", "turnOn=3"} << QStringList()
        << QStringList{"setBrightness(150)", "turnOn", "turnOn", "turnOn"} << "switched on, dark"
        << QStringList{"retry", "retry", "retry", "switch lamp on error"};
    QTest::newRow("light at a level, level refused")
        << "connected" << "light 150" << QStringList{"setBrightness=4"} << QStringList()
        << QStringList{"setBrightness(150)"} << dark << QStringList();
    QTest::newRow("switch off") << "lit" << "switch off" << QStringList() << QStringList()
                                << QStringList{"setBrightness(0)", "turnOff"} << dark << QStringList();
    QTest::newRow("lamp off") << "lit" << "lamp off" << QStringList() << QStringList() << QStringList{"turnOff"} << dark
                              << QStringList();
    QTest::newRow("lamp off refused") << "lit" << "lamp off" << QStringList{"turnOff=3"} << QStringList()
                                      << QStringList{"turnOff"} << "switched off, lit" << QStringList();
    QTest::newRow("disconnect") << "lit" << "disconnect" << QStringList() << QStringList{"Disconnected"}
                                << QStringList{"disconnect"} << dark << QStringList();
    QTest::newRow("box lost") << "lit" << "lose" << QStringList() << QStringList{"Lost"} << QStringList() << dark
                              << QStringList{"flat box lost \"PORT\""};
    QTest::newRow("lost box returns, lamp on again")
        << "lit" << "lose and return" << QStringList() << QStringList{"Lost", "Connected"}
        << QStringList{"connect(PORT, false)", "setBrightness(90)", "turnOn"} << "switched on, lit"
        << QStringList{"flat box lost \"PORT\"", "connect to  \"PORT\"", "switch lamp on", "flat box back"};
    QTest::newRow("lost box returns, the lamp refuses")
        << "lit" << "lose and return" << QStringList{"turnOn=3", "turnOn=3", "turnOn=3"}
        << QStringList{"Lost", "Connected"} << QStringList{"connect(PORT, false)", "setBrightness(90)", "turnOn", "turnOn", "turnOn"}
        << "switched on, dark"
        << QStringList{"flat box lost \"PORT\"", "connect to  \"PORT\"", "retry", "retry", "retry",
                       "switch lamp on error", "flat box back"};
    QTest::newRow("lost box returns, lamp off") << "connected" << "lose and return" << QStringList()
                                                << QStringList{"Lost", "Connected"}
                                                << QStringList{"connect(PORT, false)", "setBrightness(0)", "turnOff"}
                                                << dark
                                                << QStringList{"flat box lost \"PORT\"", "connect to  \"PORT\"",
                                                               "flat box back"};
    QTest::newRow("shut down with the lamp on") << "lit" << "shut down" << QStringList() << QStringList{"Disconnected"}
                                                << QStringList{"isFlatConnected", "turnOff", "disconnect"} << dark
                                                << QStringList();
    QTest::newRow("shut down, nothing connected") << "free" << "shut down" << QStringList() << QStringList()
                                                  << QStringList{"isFlatConnected"} << dark << QStringList();
}

void BoxControllerTest::transitions()
{
    QFETCH(QString, start);
    QFETCH(QString, operation);
    QFETCH(QStringList, statuses);
    QFETCH(QStringList, states);
    QFETCH(QStringList, calls);
    QFETCH(QString, lamp);
    QFETCH(QStringList, lines);
    fakeflat::reset();
    QTemporaryDir nodes;
    const QString boxPath = nodes.filePath(QStringLiteral("ttyBOX"));
    fakeports::set({port(QStringLiteral("ttyS0"), 0), port(QStringLiteral("ttyACM0"), boxVendor)});

    BoxController controller;
    watchForLostBox(controller);
    if (start != QLatin1String("free")) {
        controller.connectPort(boxPath);
        if (start == QLatin1String("lit")) {
            controller.switchLampOn();
            controller.setBrightness(90);
        }
        QVERIFY(settle(controller));
    }
    for (const QString &status : statuses)
        fakeflat::queueStatus(status.section('=', 0, 0), status.section('=', 1).toUInt());
    fakeflat::clearCalls();
    QSignalSpy entered(&controller, &BoxController::stateChanged);
    MessageCapture capture;

    if (operation == QLatin1String("search"))
        controller.search(availableSerialPorts());
    else if (operation == QLatin1String("connect"))
        controller.connectPort(QStringLiteral("ttyS0"));
    else if (operation == QLatin1String("lamp on"))
        controller.switchLampOn();
    else if (operation.startsWith(QLatin1String("light ")))
        controller.lightAtLevel(operation.section(' ', 1).toInt());
    else if (operation == QLatin1String("switch off"))
        controller.switchLampOff();
    else if (operation == QLatin1String("lamp off"))
        controller.turnLampOff();
    else if (operation == QLatin1String("disconnect"))
        controller.disconnectBox();
    else if (operation == QLatin1String("shut down"))
        controller.shutDown();
    else if (operation.startsWith(QLatin1String("lose"))) {
        fakeflat::loseBox();
        QTRY_COMPARE(controller.state(), BoxController::Lost);
        QCOMPARE(controller.level(), start == QLatin1String("lit") ? 90 : 0); // kept for the return
        if (operation.endsWith(QLatin1String("return"))) {
            QFile node(boxPath);
            QVERIFY(node.open(QIODevice::WriteOnly)); // the port's node made anew
            QTRY_COMPARE(controller.state(), BoxController::Connected);
        }
    }
    QVERIFY(settle(controller));

    QStringList seen;
    for (const QList<QVariant> &signal : entered)
        seen.append(stateName(signal.at(0).value<BoxController::State>()));
    QCOMPARE(seen, states);
    QCOMPARE(deviceCalls().replaceInStrings(boxPath, QStringLiteral("PORT")), calls);
    QCOMPARE(lampText(controller), lamp);
    QCOMPARE(capture.debugLines().replaceInStrings(boxPath, QStringLiteral("PORT")), lines);
}

// An Alpaca client's command, or the lost-box watch, waits while a front end holds the controller for its steps.
void BoxControllerTest::commandsWaitForTheOperationUnderWay()
{
    fakeflat::reset();
    BoxController controller;
    QSignalSpy idle(&controller, &BoxController::idle);
    {
        const BoxController::Hold hold(controller);
        controller.connectPort(QStringLiteral("ttyACM0"));
        QTRY_COMPARE(controller.state(), BoxController::Connected);
        QVERIFY(controller.isBusy());
        QCOMPARE(idle.count(), 0);
    }
    QTRY_COMPARE(idle.count(), 1);
    QVERIFY(!controller.isBusy());
}

void BoxControllerTest::connectReadsTheLamp_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("lit");
    QTest::addColumn<int>("level");
    QTest::newRow("search, a dark box") << "search" << false << 0;
    QTest::newRow("search, a box lit at power-up") << "search" << true << 200;
    QTest::newRow("connect, a dark box kept at a level") << "connect" << false << 40;
    QTest::newRow("connect, a box lit at power-up") << "connect" << true << 255;
}

// The lamp as the box reports it once connected: lit by nobody here, perhaps, but lit, and so switched on.
void BoxControllerTest::connectReadsTheLamp()
{
    QFETCH(QString, operation);
    QFETCH(bool, lit);
    QFETCH(int, level);
    fakeflat::reset();
    fakeflat::setBoxState(lit, unsigned(level));
    fakeports::set({port(QStringLiteral("ttyACM0"), boxVendor)});
    BoxController controller;
    if (operation == QLatin1String("search"))
        controller.search(availableSerialPorts());
    else
        controller.connectPort(QStringLiteral("ttyACM0"));
    QVERIFY(settle(controller));

    QCOMPARE(controller.state(), BoxController::Connected);
    QCOMPARE(lampText(controller), lit ? QStringLiteral("switched on, lit") : QStringLiteral("switched off, dark"));
    QCOMPARE(controller.level(), level);
}

VELMORA_TEST_MAIN(BoxControllerTest)
#include "tst_boxcontroller.moc"
