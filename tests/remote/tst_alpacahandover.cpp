// The hand-over between the Alpaca server's threads and the window, with the device library's test double:
// client commands drive the window's own controls, and reads come from the published state without waiting.
#include "alpacaclient.h"
#include "alpacaservice.h"
#include "attacks.h"
#include "dialogs.h"
#include "fakeflat.h"
#include "fakeports.h"
#include "messages.h"
#include "testmain.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMessageBox>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <atomic>
#include <future>
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

// A window with the box connected (or not) and its server on a free loopback port; the box may have lit itself at
// power-up.
Panel panel(bool boxConnected = true, int litAtPowerUp = -1)
{
    fakeflat::reset();
    if (litAtPowerUp >= 0)
        fakeflat::setBoxState(true, unsigned(litAtPowerUp));
    fakeports::set({SerialPortEntry{QStringLiteral("ttyACM0"), 0x2341}});
    DialogResponder::instance().clear();
    Panel p;
    p.window = makeWindow(boxConnected ? QStringLiteral("true") : QString());
    alpaca::Settings settings;
    settings.port = 0;
    settings.discoveryPort = 0;
    p.server = AlpacaService::start(p.window->boxController(), settings);
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
    void aLampLitAtPowerUpShowsLit();
    void readsAnswerWhileTheWindowIsBusy();
    void serverStaysAvailable_data();
    void serverStaysAvailable();
    void commandsAreRefusedWhileADialogIsOpen_data();
    void commandsAreRefusedWhileADialogIsOpen();
    void aFloodOfCommandsEndsWithTheLast();
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
    QTest::addColumn<int>("attempts");
    QTest::addColumn<QString>("line"); // the lamp-on attempts' last debug line, if any
    // The level goes first, so that the lamp lights at it.
    QTest::newRow("lights and sets the level") << QList<unsigned>{} << QList<unsigned>{} << 3 << 128 << true << 1
                                               << "switch lamp on";
    QTest::newRow("second attempt lights") << QList<unsigned>{1, 0} << QList<unsigned>{} << 3 << 128 << true << 2
                                           << "switch lamp on";
    QTest::newRow("three failed attempts") << QList<unsigned>{1, 1, 1} << QList<unsigned>{} << 5 << 128 << false << 3
                                           << "switch lamp on error";
    QTest::newRow("level refused: the lamp is not tried") << QList<unsigned>{} << QList<unsigned>{1} << 5 << 0
                                                          << false << 0 << QString();
}

void AlpacaHandOverTest::calibratorOnGoesThroughTheLampSwitch()
{
    QFETCH(QList<unsigned>, turnOn);
    QFETCH(QList<unsigned>, setBrightness);
    QFETCH(int, state);
    QFETCH(int, slider);
    QFETCH(bool, lit);
    QFETCH(int, attempts);
    QFETCH(QString, line);
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
    QCOMPARE(p.lampSwitch()->isChecked(), attempts > 0);
    QCOMPARE(p.slider()->value(), slider);
    QCOMPARE(p.slider()->isEnabled(), lit);
    QCOMPARE(fakeflat::callsOf(QStringLiteral("turnOn")).size(), attempts);
    QCOMPARE(fakeflat::callsOf(QStringLiteral("isFlatConnected")).size(), 0);
    const QStringList attemptLines = capture.debugLines().filter(QRegularExpression("^(switch lamp on|retry)"));
    QCOMPARE(attemptLines.isEmpty() ? QString() : attemptLines.last(), line);
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

// The connect reads the lamp: a client sees a box that lit itself at power-up as Ready at its level, its level
// command sends the level alone, and it can switch the lamp off.
void AlpacaHandOverTest::aLampLitAtPowerUpShowsLit()
{
    Panel p = panel(true, 200);
    QTRY_COMPARE(p.calibratorState(), 3);
    QCOMPARE(httpCall(p.port(), "GET " + device("brightness?") + client).value(), QJsonValue(200));
    fakeflat::clearCalls();
    QCOMPARE(httpCall(p.port(), "PUT " + device("calibratoron"), "Brightness=120&" + client).errorNumber(), 0);
    QTRY_COMPARE(httpCall(p.port(), "GET " + device("brightness?") + client).value(), QJsonValue(120));
    QTRY_COMPARE(p.calibratorState(), 3);
    QCOMPARE(fakeflat::callNames(), QStringList{"setBrightness"});
    QVERIFY(p.lampSwitch()->isChecked());
    fakeflat::clearCalls();
    QCOMPARE(httpCall(p.port(), "PUT " + device("calibratoroff"), client).errorNumber(), 0);
    QTRY_COMPARE(p.calibratorState(), 1);
    QCOMPARE(fakeflat::callNames(), (QStringList{"setBrightness", "turnOff"}));
    QCOMPARE(httpCall(p.port(), "GET " + device("brightness?") + client).value(), QJsonValue(0));
}

// Three refused switch-ons hold the controller for 600 ms; reads go on and say NotReady.
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
    QTRY_VERIFY_WITH_TIMEOUT(fakeflat::callsOf(QStringLiteral("turnOn")).size() == 3, 10000);
    // The third attempt's pause runs on the controller's thread while this one goes on.
    QTRY_VERIFY(p.calibratorState() != 2);
    done = true;
    reader.join();
    QVERIFY2(notReadyReads >= 5, qPrintable(QString::number(notReadyReads)));
    QCOMPARE(p.calibratorState(), 5);
}

// Whatever other clients do, a newcomer gets its answer, oversized requests cost no memory, and the panel
// closes at once. Small figures here; bench/alpaca measures the large ones.
void AlpacaHandOverTest::serverStaysAvailable_data()
{
    QTest::addColumn<QString>("attack");
    QTest::addColumn<int>("clients");
    QTest::addColumn<qint64>("bytes");   // what the attacker sends at most
    QTest::addColumn<int>("refusal");    // the attacker's reply; 0: the connection is closed without one
    QTest::addColumn<int>("memoryMiB");  // the process's peak memory may grow by at most this much (0: not checked;
                                         // the pollers' own work in this process outweighs the server's)
    const qint64 mib = 1024 * 1024;
    QTest::newRow("8 kept-alive pollers and a newcomer") << "pollers" << 8 << qint64(0) << 200 << 0;
    QTest::newRow("200 idle connections and a newcomer") << "idle" << 200 << qint64(0) << 0 << 16;
    QTest::newRow("30 clients dribbling their headers") << "dribble" << 30 << qint64(0) << 0 << 8;
    QTest::newRow("header bomb, one endless line") << "header line" << 1 << 32 * mib << 431 << 4;
    QTest::newRow("header bomb, 8 KB lines") << "header lines" << 1 << 32 * mib << 431 << 4;
    QTest::newRow("body bomb, Content-Length 400 MiB") << "body" << 1 << 32 * mib << 413 << 4;
    QTest::newRow("body bomb, chunked") << "chunked" << 1 << 32 * mib << 0 << 4;
    QTest::newRow("6 clients waiting for their Connected=true") << "connects" << 6 << qint64(0) << 0 << 8;
    QTest::newRow("closing with slow clients") << "close" << 30 << qint64(0) << 0 << 8;
}

void AlpacaHandOverTest::serverStaysAvailable()
{
    QFETCH(QString, attack);
    QFETCH(int, clients);
    QFETCH(qint64, bytes);
    QFETCH(int, refusal);
    QFETCH(int, memoryMiB);
    const bool connects = attack == QLatin1String("connects");
    Panel p = panel(!connects);
    const int port = p.port();
    const QByteArray put("PUT /api/v1/covercalibrator/0/calibratoroff HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                         "Content-Type: application/x-www-form-urlencoded\r\n");
    const QByteArray get("GET /api/v1/covercalibrator/0/name HTTP/1.1\r\nHost: 127.0.0.1\r\n");
    const QByteArray kib8(8000, 'a');
    const qint64 before = residentKiB();
    resetPeakMemory();

    std::unique_ptr<Pollers> pollers;
    std::unique_ptr<SlowClients> slow;
    FloodOutcome flooded;
    // This thread runs no events until the newcomer has its answer: the connects wait for the window meanwhile.
    std::vector<std::future<HttpReply>> waiting;
    for (int i = 0; connects && i < clients; ++i)
        waiting.push_back(std::async(std::launch::async, httpCall, port, "PUT " + device("connected"),
                                     QStringLiteral("Connected=true&ClientID=%1").arg(i + 10), HttpHeaders()));
    if (connects) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    } else if (attack == QLatin1String("pollers")) {
        pollers = std::make_unique<Pollers>(port, clients);
        QTRY_VERIFY(pollers->replies() > 50 * clients);
    } else if (attack == QLatin1String("idle") || attack == QLatin1String("dribble") || attack == QLatin1String("close")) {
        slow = std::make_unique<SlowClients>(port, clients, attack != QLatin1String("idle"));
        QCOMPARE(slow->opened(), clients);
        QTest::qWait(300);
    } else if (attack == QLatin1String("header line")) {
        flooded = flood(port, get + "X-Bomb: ", QByteArray(64 * 1024, 'a'), bytes);
    } else if (attack == QLatin1String("header lines")) {
        flooded = flood(port, get, "X-Bomb: " + kib8 + "\r\n", bytes);
    } else if (attack == QLatin1String("body")) {
        flooded = flood(port, put + "Content-Length: 419430400\r\n\r\n", QByteArray(64 * 1024, 'a'), bytes);
    } else if (attack == QLatin1String("chunked")) {
        flooded = flood(port, put + "Transfer-Encoding: chunked\r\n\r\n", "10000\r\n" + QByteArray(0x10000, 'a') + "\r\n",
                        bytes);
    }

    QElapsedTimer newcomer;
    newcomer.start();
    const HttpReply reply = httpCall(port, "GET " + device("calibratorstate?") + client);
    const qint64 newcomerMs = newcomer.elapsed();
    const qint64 grownKiB = peakResidentKiB() - before;
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.errorNumber(), connects ? 0x407 : 0);
    QString figures = QStringLiteral("newcomer %1 ms, peak memory %2 KiB above the start").arg(newcomerMs).arg(grownKiB);
    QVERIFY2(newcomerMs < 2000, qPrintable(figures));
    QVERIFY2(memoryMiB == 0 || grownKiB < memoryMiB * 1024, qPrintable(figures));
    if (pollers)
        figures += QStringLiteral(", %1 polls answered meanwhile").arg(pollers->replies());
    if (bytes > 0) {
        figures += QStringLiteral(", the attacker got %1 after sending %2 KiB").arg(flooded.status).arg(flooded.sent / 1024);
        QCOMPARE(flooded.status, refusal);
        QVERIFY2(flooded.sent < 16 * 1024 * 1024, qPrintable(figures)); // the server stopped reading early
    }
    for (auto &connect : waiting)
        QVERIFY(connect.wait_for(std::chrono::seconds(0)) != std::future_status::ready);
    for (auto &connect : waiting) {
        QVERIFY(QTest::qWaitFor([&] { return connect.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
        QCOMPARE(connect.get().errorNumber(), 0);
    }
    if (connects)
        QCOMPARE(fakeflat::callsOf(QStringLiteral("connect")).size(), 1); // one search served them all
    if (attack == QLatin1String("dribble")) {
        const int closedMs = slow->waitUntilAllClosed(9000);
        figures += QStringLiteral(", the last dribbler closed after %1 ms").arg(closedMs);
        QVERIFY2(closedMs >= 4500 && closedMs < 8000, qPrintable(figures));
    }
    if (attack == QLatin1String("close")) {
        QElapsedTimer closing;
        closing.start();
        p.window->close();
        p.server.reset();
        p.window.reset();
        const qint64 closedMs = closing.elapsed();
        figures += QStringLiteral(", window closed and server gone in %1 ms").arg(closedMs);
        QVERIFY2(closedMs < 1000, qPrintable(figures));
        QVERIFY(slow->waitUntilAllClosed(1000) >= 0);
    }
    qInfo("%s: %s", QTest::currentDataTag(), qPrintable(figures));
}

// A dialog of the panel waits for the user: a client's command is refused at once, naming the dialog, and
// never carried out later; reads go on.
void AlpacaHandOverTest::commandsAreRefusedWhileADialogIsOpen_data()
{
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<bool>("boxConnected");
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("form");
    QTest::newRow("message box, calibratoron") << "message box" << true << "calibratoron" << "Brightness=40&" + client;
    QTest::newRow("message box, calibratoroff") << "message box" << true << "calibratoroff" << client;
    QTest::newRow("message box, Connected=true") << "message box" << false << "connected" << "Connected=true&" + client;
    QTest::newRow("file dialog, calibratoron") << "file dialog" << true << "calibratoron" << "Brightness=40&" + client;
    QTest::newRow("file dialog, connect") << "file dialog" << false << "connect" << client;
    // Accepted before the box opened, the command is dropped when its turn comes and the calibrator says Error.
    QTest::newRow("message box opened after calibratoron") << "message box after" << true << "calibratoron"
                                                           << "Brightness=40&" + client;
}

void AlpacaHandOverTest::commandsAreRefusedWhileADialogIsOpen()
{
    QFETCH(QString, dialog);
    QFETCH(bool, boxConnected);
    QFETCH(QString, member);
    QFETCH(QString, form);
    Panel p = panel(boxConnected);
    fakeflat::clearCalls();
    const bool accepted = dialog == QLatin1String("message box after");
    if (accepted) // this thread runs no events until the box is up: the command waits for the window meanwhile
        QCOMPARE(httpCall(p.port(), "PUT " + device(member), form).errorNumber(), 0);
    std::unique_ptr<QDialog> shown;
    if (dialog.startsWith(QLatin1String("message box")))
        shown = std::make_unique<QMessageBox>(QMessageBox::Critical, QStringLiteral("Connection Error"),
                                              QStringLiteral("Flat Box connection problem"), QMessageBox::Ok, p.window.get());
    else
        shown = std::make_unique<QFileDialog>(p.window.get(), QStringLiteral("Open Configuration"));
    shown->setModal(true);
    shown->show(); // the test's responder answers it once this thread's event loop runs again
    if (accepted) {
        QTRY_COMPARE(p.calibratorState(), 5);
        QVERIFY(fakeflat::callsOf(QStringLiteral("turnOn")).isEmpty());
        return;
    }

    QElapsedTimer answered;
    answered.start();
    const HttpReply refused = httpCall(p.port(), "PUT " + device(member), form);
    QVERIFY2(answered.elapsed() < 1000, qPrintable(QString::number(answered.elapsed())));
    QCOMPARE(refused.errorNumber(), 0x40B);
    QCOMPARE(refused.json().value(QStringLiteral("ErrorMessage")).toString(),
             QStringLiteral("The panel is showing '%1': close it to go on").arg(shown->windowTitle()));
    QCOMPARE(httpCall(p.port(), "GET " + device("connected?") + client).value(), QJsonValue(boxConnected));
    shown->close();
    QTest::qWait(300); // nothing may follow the refusal: a bounded wait, as no later event would show it
    QCOMPARE(fakeflat::callNames().filter(QRegularExpression("turnOn|turnOff|connect")), QStringList());
    QCOMPARE(httpCall(p.port(), "GET " + device("connecting?") + client).value(), QJsonValue(false));
    if (boxConnected)
        QCOMPARE(p.calibratorState(), 1);
}

// 200 alternating commands as fast as one kept-alive client can send them: the window stays responsive and the
// last command is in force soon after its answer.
void AlpacaHandOverTest::aFloodOfCommandsEndsWithTheLast()
{
    Panel p = panel();
    const int port = p.port();
    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, [&] {
        longestGapMs = qMax(longestGapMs, sinceTick.restart());
    });
    sinceTick.start();
    ticker.start();
    std::atomic<qint64> lastAnswerMs{-1};
    QElapsedTimer clock;
    clock.start();
    auto client = std::async(std::launch::async, [&] {
        KeptAliveClient sender(port);
        int accepted = 0;
        for (int i = 0; i < 200; ++i) {
            const bool on = i % 2 == 1; // the last one switches on
            const HttpReply reply = sender.request("PUT", on ? "/api/v1/covercalibrator/0/calibratoron"
                                                             : "/api/v1/covercalibrator/0/calibratoroff",
                                                   on ? "Brightness=128&ClientID=3" : "ClientID=3");
            accepted += reply.errorNumber() == 0;
        }
        lastAnswerMs = clock.elapsed();
        return accepted;
    });
    QTRY_VERIFY_WITH_TIMEOUT(lastAnswerMs >= 0, 30000);
    QCOMPARE(client.get(), 200);
    QTRY_VERIFY_WITH_TIMEOUT(p.calibratorState() == 3, 5000);
    const qint64 inForceMs = clock.elapsed() - lastAnswerMs;
    ticker.stop();
    const QString figures = QStringLiteral("200 commands answered in %1 ms, the last in force %2 ms after its answer, "
                                           "%3 switch-ons reached the box, longest pause of the window %4 ms")
                                .arg(lastAnswerMs.load()).arg(inForceMs)
                                .arg(fakeflat::callsOf(QStringLiteral("turnOn")).size()).arg(longestGapMs);
    qInfo("%s", qPrintable(figures));
    QVERIFY(p.lampSwitch()->isChecked());
    QCOMPARE(p.slider()->value(), 128);
    QVERIFY2(inForceMs < 2000, qPrintable(figures));
    QVERIFY2(longestGapMs < 1500, qPrintable(figures));
    QVERIFY2(fakeflat::callsOf(QStringLiteral("turnOn")).size() < 50, qPrintable(figures));
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
    QTest::qWait(50); // nothing may follow the disconnect: a bounded wait, as no later event would show it
    QCOMPARE(fakeflat::callNames().filter(QRegularExpression("turnOff|disconnect")), QStringList());
    QCOMPARE(httpCall(p.port(), "GET " + device("connected?") + client).value(), QJsonValue(false));
    QCOMPARE(httpCall(p.port(), "GET " + device("connected?ClientID=4")).value(), QJsonValue(true));
    QVERIFY(p.lampSwitch()->isChecked());
}

void AlpacaHandOverTest::connectSearchesWithoutMessageBoxes_data()
{
    QTest::addColumn<QString>("how"); // "Connected=true" waits for the search; "connect" returns at once
    QTest::addColumn<QList<SerialPortEntry>>("ports");
    QTest::addColumn<QList<unsigned>>("connectStatuses");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("status");
    const QString connected = QStringLiteral(" FLAT BOX CONNECTED ");
    const QString disconnected = QStringLiteral(" FLAT BOX DISCONNECTED ");
    const SerialPortEntry box{QStringLiteral("ttyACM0"), 0x2341};
    const SerialPortEntry other{QStringLiteral("ttyS0"), 0};
    for (const QString &how : {QStringLiteral("Connected=true"), QStringLiteral("connect")}) {
        const int failed = how == QLatin1String("connect") ? 0x500 : 0x407; // connect: its Connecting says so
        const char *way = how == QLatin1String("connect") ? "connect" : "Connected=true";
        QTest::addRow("%s, box answers", way) << how << QList<SerialPortEntry>{other, box} << QList<unsigned>{} << 0
                                              << connected;
        QTest::addRow("%s, box refuses", way) << how << QList<SerialPortEntry>{box} << QList<unsigned>{1} << failed
                                              << disconnected;
        QTest::addRow("%s, no box port", way) << how << QList<SerialPortEntry>{other} << QList<unsigned>{} << failed
                                              << disconnected;
        QTest::addRow("%s, no port at all", way) << how << QList<SerialPortEntry>{} << QList<unsigned>{} << failed
                                                 << disconnected;
    }
}

// A client's connect runs the search without message boxes and leaves the stored automatic-search preference
// (and its check box) as the user set them; the asynchronous connect tells its outcome through Connecting.
void AlpacaHandOverTest::connectSearchesWithoutMessageBoxes()
{
    QFETCH(QString, how);
    QFETCH(QList<SerialPortEntry>, ports);
    QFETCH(QList<unsigned>, connectStatuses);
    QFETCH(int, error);
    QFETCH(QString, status);
    Panel p = panel(false);
    fakeports::set(ports);
    fakeflat::queueStatuses(QStringLiteral("connect"), connectStatuses);
    DialogResponder::instance().clear();
    QSettings().setValue(QStringLiteral("auto_search"), QStringLiteral("true")); // the check box is unchecked
    HttpReply reply;
    if (how == QLatin1String("connect")) {
        QCOMPARE(httpCall(p.port(), "PUT " + device("connect"), client).errorNumber(), 0);
        QTRY_VERIFY((reply = httpCall(p.port(), "GET " + device("connecting?") + client)).value() != QJsonValue(true));
        QCOMPARE(reply.value(), error == 0 ? QJsonValue(false) : QJsonValue(QJsonValue::Undefined));
        // Each client has its own Connecting.
        QCOMPARE(httpCall(p.port(), "GET " + device("connecting?ClientID=4")).value(), QJsonValue(false));
    } else {
        reply = httpCallSpinning(p.port(), "PUT " + device("connected"), "Connected=true&" + client);
    }
    QCOMPARE(reply.errorNumber(), error);
    if (error != 0)
        QVERIFY2(reply.json().value(QStringLiteral("ErrorMessage")).toString().contains(QLatin1String("port")),
                 reply.body.constData());
    QCOMPARE(VelmoraFlatTestAccess::statusText(*p.window), status);
    QCOMPARE(httpCall(p.port(), "GET " + device("connected?") + client).value(), QJsonValue(error == 0));
    QVERIFY(DialogResponder::instance().shownMessageBoxes().isEmpty());
    QCOMPARE(QSettings().value(QStringLiteral("auto_search")).toString(), QStringLiteral("true"));
    QVERIFY(!child<QCheckBox>(*p.window, "ST_autoSearch")->isChecked());
}

VELMORA_TEST_MAIN(AlpacaHandOverTest)
#include "tst_alpacahandover.moc"
