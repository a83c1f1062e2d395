// The hand-over between the Alpaca server's threads and the window, with the device library's test double:
// client commands drive the window's own controls, and reads come from the published state without waiting.
#include "alpacaclient.h"
#include "alpacaservice.h"
#include "dialogs.h"
#include "fakeflat.h"
#include "fakeports.h"
#include "messages.h"
#include "testmain.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QDialog>
#include <QSlider>
#include <QSpinBox>

#include <atomic>
#include <thread>

Q_DECLARE_METATYPE(SerialPortEntry)

namespace {

const QString client = QStringLiteral("ClientID=3");

struct Panel
{
    std::unique_ptr<VelmoraFlat> window;
    std::unique_ptr<AlpacaService> server;
    int port() const { return server->httpPort(); }
    QSlider *slider() { return child<QSlider>(*window, "MT_lampLevelSlider"); }
    QCheckBox *lampSwitch() { return child<QCheckBox>(*window, "MT_lampSwitch"); }
    int calibratorState() { return httpCall(port(), "GET " + device("calibratorstate?") + client).value().toInt(-1); }
};

// A window with the box connected (or not) and its server on a free loopback port.
Panel panel(bool boxConnected = true)
{
    fakeflat::reset();
    fakeports::set({SerialPortEntry{QStringLiteral("ttyACM0"), 0x2341}});
    DialogResponder::instance().clear();
    Panel p;
    p.window = makeWindow(boxConnected ? QStringLiteral("true") : QString());
    alpaca::Settings settings;
    settings.port = 0;
    settings.discoveryPort = 0;
    p.server = AlpacaService::start(*p.window, settings);
    if (boxConnected)
        httpCall(p.port(), "PUT " + device("connect"), client);
    return p;
}

} // namespace

class AlpacaHandOverTest : public QObject
{
    Q_OBJECT

private slots:
    void calibratorOnGoesThroughTheLampSwitch_data();
    void calibratorOnGoesThroughTheLampSwitch();
    void calibratorOffSwitchesTheLampOff();
    void readsAnswerWhileTheWindowIsBusy();
    void commandsWaitForAnOpenDialog();
    void userChangesShowInTheNextRead();
    void clientDisconnectLeavesTheBoxAlone();
    void connectSearchesWithoutMessageBoxes_data();
    void connectSearchesWithoutMessageBoxes();
};

void AlpacaHandOverTest::calibratorOnGoesThroughTheLampSwitch_data()
{
    QTest::addColumn<QList<unsigned>>("turnOn");
    QTest::addColumn<QList<unsigned>>("setBrightness");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("slider");
    QTest::addColumn<bool>("lit");
    QTest::newRow("lights and sets the level") << QList<unsigned>{} << QList<unsigned>{} << 3 << 128 << true;
    QTest::newRow("second attempt lights") << QList<unsigned>{1, 0} << QList<unsigned>{} << 3 << 128 << true;
    QTest::newRow("three failed attempts") << QList<unsigned>{1, 1, 1} << QList<unsigned>{} << 5 << 0 << false;
    QTest::newRow("level refused") << QList<unsigned>{} << QList<unsigned>{0, 1} << 5 << 128 << true;
}

void AlpacaHandOverTest::calibratorOnGoesThroughTheLampSwitch()
{
    QFETCH(QList<unsigned>, turnOn);
    QFETCH(QList<unsigned>, setBrightness);
    QFETCH(int, state);
    QFETCH(int, slider);
    QFETCH(bool, lit);
    Panel p = panel();
    fakeflat::queueStatuses(QStringLiteral("turnOn"), turnOn);
    fakeflat::queueStatuses(QStringLiteral("setBrightness"), setBrightness);
    MessageCapture capture;

    const HttpReply put = httpCall(p.port(), "PUT " + device("calibratoron"), "Brightness=128&" + client);
    QCOMPARE(put.errorNumber(), 0);
    QCOMPARE(p.calibratorState(), 2); // NotReady until the window's thread has done it
    QCOMPARE(httpCall(p.port(), "GET " + device("calibratorchanging?") + client).value(), QJsonValue(true));
    QTRY_VERIFY(p.calibratorState() != 2);
    QCOMPARE(p.calibratorState(), state);
    QVERIFY(p.lampSwitch()->isChecked());
    QCOMPARE(p.slider()->value(), slider);
    QCOMPARE(p.slider()->isEnabled(), lit);
    QCOMPARE(fakeflat::callsOf(QStringLiteral("turnOn")).size(), qMax(1, turnOn.size()));
    QVERIFY(capture.debugLines().contains(lit ? QStringLiteral("switch lamp on") : QStringLiteral("switch lamp on error")));
    QVERIFY(DialogResponder::instance().shownMessageBoxes().isEmpty());
}

void AlpacaHandOverTest::calibratorOffSwitchesTheLampOff()
{
    Panel p = panel();
    httpCallSpinning(p.port(), "PUT " + device("calibratoron"), "Brightness=90&" + client);
    QTRY_COMPARE(p.calibratorState(), 3);
    fakeflat::clearCalls();
    QCOMPARE(httpCall(p.port(), "PUT " + device("calibratoroff"), client).errorNumber(), 0);
    QTRY_COMPARE(p.calibratorState(), 1);
    QCOMPARE(fakeflat::callsOf(QStringLiteral("turnOff")).size(), 1);
    QVERIFY(!p.lampSwitch()->isChecked());
    QCOMPARE(httpCall(p.port(), "GET " + device("brightness?") + client).value(), QJsonValue(0));
}

// Three refused switch-ons hold the window's thread for 600 ms; reads go on and say NotReady.
void AlpacaHandOverTest::readsAnswerWhileTheWindowIsBusy()
{
    Panel p = panel();
    fakeflat::queueStatuses(QStringLiteral("turnOn"), {1, 1, 1});
    httpCall(p.port(), "PUT " + device("calibratoron"), "Brightness=10&" + client);
    std::atomic<bool> done{false};
    std::atomic<int> notReadyReads{0};
    const int port = p.port();
    std::thread reader([&] {
        while (!done)
            if (httpCall(port, "GET " + device("calibratorstate?") + client).value().toInt() == 2)
                ++notReadyReads;
    });
    QTest::qWait(50); // the queued command runs from the event loop and blocks it
    QTRY_VERIFY_WITH_TIMEOUT(fakeflat::callsOf(QStringLiteral("turnOn")).size() == 3, 10000);
    done = true;
    reader.join();
    QVERIFY2(notReadyReads >= 5, qPrintable(QString::number(notReadyReads)));
    QCOMPARE(p.calibratorState(), 5);
}

// A modal dialog means a window slot waits for the user; a client's command must not run inside it.
void AlpacaHandOverTest::commandsWaitForAnOpenDialog()
{
    Panel p = panel();
    QDialog dialog(p.window.get());
    dialog.setModal(true);
    dialog.show();
    httpCall(p.port(), "PUT " + device("calibratoron"), "Brightness=40&" + client);
    QTest::qWait(300);
    QCOMPARE(p.calibratorState(), 2);
    QVERIFY(fakeflat::callsOf(QStringLiteral("turnOn")).isEmpty());
    dialog.close();
    QTRY_COMPARE(p.calibratorState(), 3);
    QCOMPARE(p.slider()->value(), 40);
}

void AlpacaHandOverTest::userChangesShowInTheNextRead()
{
    Panel p = panel();
    p.lampSwitch()->click();
    p.slider()->setValue(77);
    QCOMPARE(httpCall(p.port(), "GET " + device("brightness?") + client).value(), QJsonValue(77));
    QCOMPARE(p.calibratorState(), 3);
    pressButton(*p.window, "MT_serialDisconnect"); // the window's disconnected state, as after a lost box
    QCOMPARE(httpCall(p.port(), "GET " + device("connected?") + client).value(), QJsonValue(false));
    QCOMPARE(httpCall(p.port(), "GET " + device("brightness?") + client).errorNumber(), 0x407);
    QCOMPARE(httpCall(p.port(), "PUT " + device("calibratoron"), "Brightness=5&" + client).errorNumber(), 0x407);
}

void AlpacaHandOverTest::clientDisconnectLeavesTheBoxAlone()
{
    Panel p = panel();
    httpCall(p.port(), "PUT " + device("connected"), "Connected=true&ClientID=4");
    httpCallSpinning(p.port(), "PUT " + device("calibratoron"), "Brightness=60&" + client);
    QTRY_COMPARE(p.calibratorState(), 3);
    fakeflat::clearCalls();
    QCOMPARE(httpCall(p.port(), "PUT " + device("connected"), "Connected=false&" + client).errorNumber(), 0);
    QTest::qWait(50);
    QCOMPARE(fakeflat::callNames().filter(QRegularExpression("turnOff|disconnect")), QStringList());
    QCOMPARE(httpCall(p.port(), "GET " + device("connected?") + client).value(), QJsonValue(false));
    QCOMPARE(httpCall(p.port(), "GET " + device("connected?ClientID=4")).value(), QJsonValue(true));
    QVERIFY(p.lampSwitch()->isChecked());
}

void AlpacaHandOverTest::connectSearchesWithoutMessageBoxes_data()
{
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<QList<unsigned>>("connectStatuses");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("status");
    const QString connected = QStringLiteral(" FLAT BOX CONNECTED ");
    const QString disconnected = QStringLiteral(" FLAT BOX DISCONNECTED ");
    const SerialPortEntry box{QStringLiteral("ttyACM0"), 0x2341};
    const SerialPortEntry other{QStringLiteral("ttyS0"), 0};
    QTest::newRow("box answers") << QList<SerialPortEntry>{other, box} << QList<unsigned>{} << 0 << connected;
    QTest::newRow("box refuses") << QList<SerialPortEntry>{box} << QList<unsigned>{1} << 0x407 << disconnected;
    QTest::newRow("no box port") << QList<SerialPortEntry>{other} << QList<unsigned>{} << 0x407 << disconnected;
    QTest::newRow("no port at all") << QList<SerialPortEntry>{} << QList<unsigned>{} << 0x407 << disconnected;
}

void AlpacaHandOverTest::connectSearchesWithoutMessageBoxes()
{
    QFETCH(QList<SerialPortEntry>, ports);
    QFETCH(QList<unsigned>, connectStatuses);
    QFETCH(int, error);
    QFETCH(QString, status);
    Panel p = panel(false);
    fakeports::set(ports);
    fakeflat::queueStatuses(QStringLiteral("connect"), connectStatuses);
    DialogResponder::instance().clear();
    const HttpReply reply = httpCallSpinning(p.port(), "PUT " + device("connected"), "Connected=true&" + client);
    QCOMPARE(reply.errorNumber(), error);
    QCOMPARE(VelmoraFlatTestAccess::statusText(*p.window), status);
    QCOMPARE(httpCall(p.port(), "GET " + device("connected?") + client).value(), QJsonValue(error == 0));
    QVERIFY(DialogResponder::instance().shownMessageBoxes().isEmpty());
}

VELMORA_TEST_MAIN(AlpacaHandOverTest)
#include "tst_alpacahandover.moc"
