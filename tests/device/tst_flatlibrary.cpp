// The device library against the box simulator on a pseudo-terminal.
#include "devicetest.h"
#include "flatboxsim.h"
#include "velmora/flat.h"
#include "velmora/portnode.h"

#include <QtTest>

#include <climits>
#include <cstdio>

using namespace devicetest;
using velmora::Flat;

Q_DECLARE_METATYPE(velmora::Status)

namespace {
// The longest a connect may take: 5 s of pings, the last one's wait, and some slack.
const qint64 connectBoundMs = 5600;
// The longest a lamp or brightness command may take: its 500 ms wait and some slack.
const qint64 exchangeBoundMs = 800;
// A call that fails at once does not wait for the port at all.
const qint64 immediateMs = 100;
} // namespace

class FlatLibraryTest : public QObject
{
    Q_OBJECT

private slots:
    void reportsItsVersion();
    void connectsToTheBox_data();
    void connectsToTheBox();
    void drivesEveryDialect_data();
    void drivesEveryDialect();
    void lateRepliesAreNeverTakenForTheNextCommand_data();
    void lateRepliesAreNeverTakenForTheNextCommand();
    void lampCommandsReachTheBox_data();
    void lampCommandsReachTheBox();
    void refusesBrightnessAbove255_data();
    void refusesBrightnessAbove255();
    void repeatedBrightnessIsNotResent_data();
    void repeatedBrightnessIsNotResent();
    void waitsForABootingBox();
    void failedConnectLeavesThePortClosed_data();
    void failedConnectLeavesThePortClosed();
    void connectToAMissingPortFails_data();
    void connectToAMissingPortFails();
    void callsWithoutAConnectionFailAtOnce_data();
    void callsWithoutAConnectionFailAtOnce();
    void refusedLightOnKeepsThePortOpen();
    void silentBoxIsGivenUpAfterTwoTimeouts_data();
    void silentBoxIsGivenUpAfterTwoTimeouts();
    void vanishingBoxFailsPromptly_data();
    void vanishingBoxFailsPromptly();
    void vanishingBoxIsClosedWhileIdle_data();
    void vanishingBoxIsClosedWhileIdle();
    void faultyRepliesAreBounded_data();
    void faultyRepliesAreBounded();
    void floodWhileIdleIsBounded();
    void reconnectsToANewBoxAfterUnplug();
    void connectingAgainClosesTheOldPort();
    void failedConnectWithIdentityLeavesItUntouched();
    void portReturnIsANewNode_data();
    void portReturnIsANewNode();
};

void FlatLibraryTest::reportsItsVersion()
{
    Flat flat;
    std::string version;
    QCOMPARE(flat.getAPIversion(version), unsigned(velmora::Ok));
    QCOMPARE(QString::fromStdString(version), QStringLiteral("1.0.0"));
}

void FlatLibraryTest::connectsToTheBox_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("identity"); // as getIdentity gives it
    QTest::newRow("light panel") << QStringList() << "19 001 CR 0";
    QTest::newRow("larger panel 10") << QStringList{"--product-id", "10"} << "10 001 CR 0";
    QTest::newRow("larger panel 15") << QStringList{"--product-id", "15"} << "15 001 CR 0";
    QTest::newRow("panel with cover") << QStringList{"--product-id", "99"} << "99 001 CR 0";
    QTest::newRow("replies split byte by byte") << QStringList{"--split-replies", "--split-gap-ms", "20"}
                                                << "19 001 CR 0";
    QTest::newRow("LF, letters") << QStringList{"--terminator", "lf", "--filler", "letter", "--product-id", "98"}
                                 << "98 001 LF O";
}

namespace {
QString identityText(Flat &flat)
{
    velmora::Identity identity;
    if (flat.getIdentity(identity) != velmora::Ok)
        return QStringLiteral("none");
    return QStringLiteral("%1 %2 %3 %4")
        .arg(identity.productId)
        .arg(QString::fromStdString(identity.firmware), QString::fromStdString(identity.terminator),
             QString::fromStdString(identity.filler));
}

QString stateText(Flat &flat)
{
    velmora::BoxState state;
    const unsigned result = flat.readState(state);
    if (result != velmora::Ok)
        return QStringLiteral("status %1").arg(result);
    return QStringLiteral("%1 %2").arg(state.lampOn ? "on" : "off").arg(state.brightness);
}
} // namespace

void FlatLibraryTest::connectsToTheBox()
{
    QFETCH(QStringList, options);
    QFETCH(QString, identity);
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    Flat flat;
    QCOMPARE(identityText(flat), QStringLiteral("none"));
    QCOMPARE(stateText(flat), QStringLiteral("status 1"));
    velmora::Identity opened;
    QCOMPARE(flat.connect(box.portName().constData(), false, opened), unsigned(velmora::Ok));
    QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                 .arg(opened.productId)
                 .arg(QString::fromStdString(opened.firmware), QString::fromStdString(opened.terminator),
                      QString::fromStdString(opened.filler)),
             identity);
    bool connected = false;
    QCOMPARE(flat.isFlatConnected(connected), unsigned(velmora::Ok));
    QVERIFY(connected);
    QCOMPARE(flat.turnOn(), unsigned(velmora::Ok));
    const QString filler = identity.endsWith(QLatin1Char('O')) ? QStringLiteral("OOO") : QStringLiteral("000");
    QCOMPARE(box.accepted().mid(box.accepted().size() - 2), (QStringList{">S" + filler, ">L" + filler}));
    // Identity and state read back: what connect learned, and the lamp as the box reports it.
    QCOMPARE(identityText(flat), identity);
    QCOMPARE(stateText(flat), QStringLiteral("on 0"));
    QCOMPARE(flat.setBrightness(77), unsigned(velmora::Ok));
    QCOMPARE(flat.turnOff(), unsigned(velmora::Ok));
    QCOMPARE(stateText(flat), QStringLiteral("off 77"));
    QCOMPARE(box.accepted().mid(box.accepted().size() - 2), (QStringList{">S" + filler, ">J" + filler}));
    QCOMPARE(flat.disconnect(), unsigned(velmora::Ok));
    QCOMPARE(identityText(flat), QStringLiteral("none"));
}

// The firmwares' dialects, each started as a board that is running, that boots, and that boots and
// then keeps its input through a start-up wait (answering queued pings in a burst unless it drains).
void FlatLibraryTest::drivesEveryDialect_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("firstAnswerMs");
    QTest::addColumn<QString>("debugLine");
    QTest::addColumn<QString>("filler");
    const QList<std::tuple<const char *, QStringList, QString, QString>> dialects{
        {"classic", {}, "19 firmware 001 terminator CR filler 0", "000"},
        {"LF, digits, draining", {"--terminator", "lf", "--filler", "digit", "--drain"},
         "19 firmware 001 terminator LF filler 0", "000"},
        {"CR, letters, draining, CR LF replies",
         {"--terminator", "cr", "--filler", "letter", "--drain", "--reply-end", "crlf", "--product-id", "99"},
         "99 firmware 001 terminator CR filler O", "OOO"},
        {"CR, either filler, draining", {"--terminator", "cr", "--filler", "any", "--drain", "--product-id", "98"},
         "98 firmware 001 terminator CR filler [0O]", "either"},
        {"LF, letters, CR LF replies", {"--terminator", "lf", "--filler", "letter", "--reply-end", "crlf"},
         "19 firmware 001 terminator LF filler O", "OOO"},
        {"CR, digits", {"--terminator", "cr", "--filler", "digit", "--product-id", "10"},
         "10 firmware 001 terminator CR filler 0", "000"},
        {"native USB, keeps all it is sent while starting up, either filler, 9600 baud",
         {"--native-usb", "--filler", "any", "--line-rate", "9600"}, "19 firmware 001 terminator CR filler [0O]",
         "either"},
        {"native USB, stray line before every reply",
         {"--terminator", "lf", "--filler", "digit", "--drain", "--dtr-gated", "--stray-before-reply"},
         "19 firmware 001 terminator LF filler 0", "000"},
    };
    const QList<std::tuple<const char *, QStringList, int>> boots{
        {"running", {}, 0},
        {"boot loader 1 s", {"--boot-delay-ms", "1000"}, 1000},
        {"boot 0.5 s, start-up 1.5 s", {"--boot-delay-ms", "500", "--startup-wait-ms", "1500"}, 2000},
    };
    for (const auto &[name, options, line, filler] : dialects) {
        for (const auto &[bootName, bootOptions, firstAnswerMs] : boots) {
            QTest::addRow("%s; %s", name, bootName)
                << options + bootOptions << firstAnswerMs << QStringLiteral("flat box: product ") + line << filler;
        }
    }
}

void FlatLibraryTest::drivesEveryDialect()
{
    QFETCH(QStringList, options);
    QFETCH(int, firstAnswerMs);
    QFETCH(QString, debugLine);
    QFETCH(QString, filler);
    // Connect does not run through the whole search once the box answers. How soon it ends (0.35 s after the
    // first answer) is bench/serial's figure; this bound leaves room for a loaded machine.
    const qint64 connectBoundMs = firstAnswerMs + 2000;
    // No read time-out is waited for: any step faster than the library's 500 ms shows it.
    const qint64 fullSpeedMs = 480;
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    Flat flat;
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QLatin1Char('^') + debugLine + QLatin1Char('$')));
    unsigned result = ~0u;
    const Cost connectCost = measure([&] { result = flat.connect(box.portName().constData(), false); });
    QVERIFY2(result == velmora::Ok, qPrintable(QString::number(result) + ": " + box.received().join(", ")));
    QVERIFY2(connectCost.wallMs < connectBoundMs, qPrintable(describe(connectCost)));
    const int handshakeLines = box.received().size();
    const QStringList steps{"on", "B100", "B200", "status", "B0", "off"};
    for (const QString &step : steps) {
        const Cost cost = measure([&] { result = runStep(flat, step, box.portName()); });
        QCOMPARE(result, unsigned(velmora::Ok));
        QVERIFY2(cost.wallMs < fullSpeedMs, qPrintable(step + ": " + describe(cost)));
    }
    QCOMPARE(flat.disconnect(), unsigned(velmora::Ok));
    // A box that reads either filler may be spoken to with either.
    const QString spelling = filler == QLatin1String("either") ? QStringLiteral("000") : filler;
    const QStringList wire{">L" + spelling, ">B100", ">B200", ">S" + spelling, ">B000", ">D" + spelling};
    QStringList sent = box.received().mid(handshakeLines);
    if (filler == QLatin1String("either"))
        sent.replaceInStrings(QStringLiteral("OOO"), QStringLiteral("000"));
    QCOMPARE(sent, wire);
}

// A box that answers late, but within the 500 ms an exchange waits, is driven; one that answers
// later still is given up, and no call ever takes the reply to the command before it.
void FlatLibraryTest::lateRepliesAreNeverTakenForTheNextCommand_data()
{
    QTest::addColumn<int>("latencyMs");
    QTest::addColumn<QList<velmora::Status>>("results");
    using namespace velmora;
    QTest::newRow("350 ms") << 350 << QList<Status>{Ok, Ok, Ok, Ok, Ok, Ok};
    // The first light-on's late answer comes while its retry waits: alike, it is taken for the retry's.
    QTest::newRow("550 ms") << 550 << QList<Status>{Timeout, Ok, Timeout, Timeout, NotConnected, NotConnected};
}

void FlatLibraryTest::lateRepliesAreNeverTakenForTheNextCommand()
{
    QFETCH(int, latencyMs);
    QFETCH(QList<velmora::Status>, results);
    const QStringList steps{"on", "on", "B10", "B11", "status", "off"};
    for (const bool lateFromTheStart : {true, false}) {
        FlatBoxSim box;
        const QString normalCommands = lateFromTheStart ? QStringLiteral("0") : afterHandshake();
        QVERIFY2(box.start({"--reply-latency-ms", QString::number(latencyMs), "--faults-after", normalCommands}),
                 qPrintable(box.errorText()));
        Flat flat;
        const unsigned connected = flat.connect(box.portName().constData(), false);
        if (lateFromTheStart && results.first() != velmora::Ok) {
            QCOMPARE(connected, unsigned(velmora::Timeout));
            continue;
        }
        QCOMPARE(connected, unsigned(velmora::Ok));
        for (int i = 0; i < steps.size(); ++i) {
            unsigned result = velmora::Ok;
            const Cost cost = measure([&] { result = runStep(flat, steps[i], box.portName()); });
            QCOMPARE(result, unsigned(results[i]));
            QVERIFY2(cost.wallMs < exchangeBoundMs, qPrintable(steps[i] + ": " + describe(cost)));
        }
    }
}

void FlatLibraryTest::lampCommandsReachTheBox_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("wire");
    QTest::newRow("light on") << QStringList{"on"} << QStringList{">L000"};
    QTest::newRow("light off") << QStringList{"off"} << QStringList{">D000"};
    QTest::newRow("on, then off") << QStringList{"on", "off"} << QStringList{">L000", ">D000"};
    QTest::newRow("brightness 0") << QStringList{"B0"} << QStringList{">B000"};
    QTest::newRow("brightness 1") << QStringList{"B1"} << QStringList{">B001"};
    QTest::newRow("brightness 128") << QStringList{"B128"} << QStringList{">B128"};
    QTest::newRow("brightness 255") << QStringList{"B255"} << QStringList{">B255"};
    QTest::newRow("status query") << QStringList{"status"} << QStringList{">S000"};
}

void FlatLibraryTest::lampCommandsReachTheBox()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, wire);
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    Flat flat;
    QCOMPARE(flat.connect(box.portName().constData(), false), unsigned(velmora::Ok));
    for (const QString &step : steps)
        QCOMPARE(runStep(flat, step, box.portName()), unsigned(velmora::Ok));
    QCOMPARE(box.accepted(), handshake() + wire);
}

void FlatLibraryTest::refusesBrightnessAbove255_data()
{
    QTest::addColumn<unsigned>("level");
    QTest::newRow("256") << 256u;
    QTest::newRow("1000, four digits") << 1000u;
    QTest::newRow("largest unsigned") << UINT_MAX;
}

void FlatLibraryTest::refusesBrightnessAbove255()
{
    QFETCH(unsigned, level);
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    Flat flat;
    QCOMPARE(flat.connect(box.portName().constData(), false), unsigned(velmora::Ok));
    QCOMPARE(flat.setBrightness(level), unsigned(velmora::OutOfRange));
    QCOMPARE(box.received(), handshake());
    QVERIFY(isConnected(flat));
}

void FlatLibraryTest::repeatedBrightnessIsNotResent_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("wire");
    QTest::newRow("same level twice") << QStringList{"B50", "B50"} << QStringList{">B050"};
    QTest::newRow("same level three times") << QStringList{"B50", "B50", "B50"} << QStringList{">B050"};
    QTest::newRow("slider steps, each twice")
        << QStringList{"B1", "B1", "B2", "B2", "B3", "B3"} << QStringList{">B001", ">B002", ">B003"};
    QTest::newRow("other level between") << QStringList{"B50", "B60", "B50"}
                                         << QStringList{">B050", ">B060", ">B050"};
    QTest::newRow("light on between") << QStringList{"B50", "on", "B50"}
                                      << QStringList{">B050", ">L000", ">B050"};
    QTest::newRow("light off between") << QStringList{"B0", "off", "B0"}
                                       << QStringList{">B000", ">D000", ">B000"};
    QTest::newRow("status query between") << QStringList{"B50", "status", "B50"}
                                          << QStringList{">B050", ">S000", ">B050"};
    QTest::newRow("refused level between") << QStringList{"B50", "B256", "B50"} << QStringList{">B050"};
    QTest::newRow("reconnect between") << QStringList{"B50", "reconnect", "B50"}
                                       << QStringList{">B050"} + handshake() + QStringList{">B050"};
}

void FlatLibraryTest::repeatedBrightnessIsNotResent()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, wire);
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    Flat flat;
    QCOMPARE(flat.connect(box.portName().constData(), false), unsigned(velmora::Ok));
    for (const QString &step : steps)
        runStep(flat, step, box.portName());
    QCOMPARE(box.accepted(), handshake() + wire);
}

void FlatLibraryTest::waitsForABootingBox()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--boot-delay-ms", "2000"}), qPrintable(box.errorText()));
    Flat flat;
    unsigned result = ~0u;
    const Cost cost = measure([&] { result = flat.connect(box.portName().constData(), false); });
    QCOMPARE(result, unsigned(velmora::Ok));
    QVERIFY2(cost.wallMs >= 2000 && cost.wallMs < connectBoundMs, qPrintable(describe(cost)));
    QVERIFY2(waitedIdly(cost), qPrintable(describe(cost)));
    const QStringList received = box.received();
    QVERIFY2(received.count(">P000 (booting)") >= 5, qPrintable(received.join(", ")));
    QCOMPARE(box.accepted().first(), QStringLiteral(">S000"));
    QCOMPARE(flat.turnOn(), unsigned(velmora::Ok));
}

void FlatLibraryTest::failedConnectLeavesThePortClosed_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("quick");
    QTest::addColumn<qint64>("boundMs");
    QTest::newRow("silent box") << QStringList{"--silent-after", "0"} << false << connectBoundMs;
    QTest::newRow("boot longer than the wait") << QStringList{"--boot-delay-ms", "8000"} << false
                                               << connectBoundMs;
    QTest::newRow("garbage replies") << QStringList{"--garbage"} << false << connectBoundMs;
    QTest::newRow("random bytes") << QStringList{"--random-bytes"} << false << connectBoundMs;
    QTest::newRow("overlong replies") << QStringList{"--overlong", "100000"} << false << connectBoundMs;
    QTest::newRow("unplugged halfway through the ping reply")
        << QStringList{"--unplug-mid-reply", "0"} << false << qint64(immediateMs + 300);
    QTest::newRow("quick connect to a booting box") << QStringList{"--boot-delay-ms", "2000"} << true
                                                    << qint64(immediateMs + 300);
}

void FlatLibraryTest::failedConnectLeavesThePortClosed()
{
    QFETCH(QStringList, options);
    QFETCH(bool, quick);
    QFETCH(qint64, boundMs);
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    Flat flat;
    unsigned result = velmora::Ok;
    const Cost cost = measure([&] { result = flat.connect(box.portName().constData(), quick); });
    QVERIFY(result != velmora::Ok);
    QVERIFY2(cost.wallMs < boundMs, qPrintable(describe(cost)));
    QVERIFY2(waitedIdly(cost), qPrintable(describe(cost)));
    // Pinged at the pace of the ping's wait, not as fast as the box answers.
    QVERIFY2(box.received().size() <= 160, qPrintable(box.received().join(", ")));

    const int sentBefore = box.received().size();
    QCOMPARE(flat.turnOn(), unsigned(velmora::NotConnected));
    QVERIFY(!isConnected(flat));
    QCOMPARE(box.received().size(), sentBefore);
}

void FlatLibraryTest::connectToAMissingPortFails_data()
{
    QTest::addColumn<QByteArray>("port");
    QTest::newRow("empty name") << QByteArray("");
    QTest::newRow("no such device") << QByteArray("/dev/velmora-no-such-port");
    QTest::newRow("not a terminal") << QByteArray("/dev/null");
}

void FlatLibraryTest::connectToAMissingPortFails()
{
    QFETCH(QByteArray, port);
    Flat flat;
    unsigned result = velmora::Ok;
    const Cost cost = measure([&] { result = flat.connect(port.constData(), false); });
    QVERIFY(result != velmora::Ok);
    QVERIFY2(cost.wallMs < immediateMs, qPrintable(describe(cost)));
    QCOMPARE(flat.turnOn(), unsigned(velmora::NotConnected));
    QCOMPARE(flat.connect(nullptr, false), unsigned(velmora::PortError));
}

void FlatLibraryTest::callsWithoutAConnectionFailAtOnce_data()
{
    QTest::addColumn<QString>("step");
    QTest::newRow("light on") << "on";
    QTest::newRow("light off") << "off";
    QTest::newRow("brightness") << "B100";
    QTest::newRow("status query") << "status";
}

void FlatLibraryTest::callsWithoutAConnectionFailAtOnce()
{
    QFETCH(QString, step);
    Flat flat;
    QCOMPARE(flat.disconnect(), unsigned(velmora::Ok));
    QCOMPARE(runStep(flat, step, QByteArray()), unsigned(velmora::NotConnected));
    QCOMPARE(flat.disconnect(), unsigned(velmora::Ok));
    bool connected = true;
    flat.isFlatConnected(connected);
    QVERIFY(!connected);
}

void FlatLibraryTest::refusedLightOnKeepsThePortOpen()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--refuse-light-on", "3"}), qPrintable(box.errorText()));
    Flat flat;
    QCOMPARE(flat.connect(box.portName().constData(), false), unsigned(velmora::Ok));
    for (int attempt = 1; attempt <= 3; ++attempt) {
        unsigned result = velmora::Ok;
        const Cost cost = measure([&] { result = flat.turnOn(); });
        QCOMPARE(result, unsigned(velmora::BadReply));
        QVERIFY2(cost.wallMs < immediateMs, qPrintable(describe(cost)));
    }
    QVERIFY(isConnected(flat));
    QCOMPARE(flat.turnOn(), unsigned(velmora::Ok));
}

// A box that falls silent is given up after two time-outs in a row; one that ignores a single command
// (a busy firmware, a noisy cable) or answers one letter late is driven on with the retry.
void FlatLibraryTest::silentBoxIsGivenUpAfterTwoTimeouts_data()
{
    QTest::addColumn<QStringList>("fault"); // after the handshake
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<velmora::Status>>("results");
    using namespace velmora;
    const QStringList silent{"--silent-after", afterHandshake()};
    QTest::newRow("light on and brightness") << silent << QStringList{"on", "B10", "off"}
                                             << QList<Status>{Timeout, Timeout, NotConnected};
    QTest::newRow("brightness twice") << silent << QStringList{"B10", "B11", "B12"}
                                      << QList<Status>{Timeout, Timeout, NotConnected};
    QTest::newRow("state reads count") << silent << QStringList{"state", "on", "B10"}
                                       << QList<Status>{Timeout, Timeout, NotConnected};
    QTest::newRow("state read twice") << silent << QStringList{"state", "state", "status"}
                                      << QList<Status>{Timeout, Timeout, NotConnected};
    QTest::newRow("status queries do not count")
        << silent << QStringList{"status", "status", "on", "status", "B10", "on"}
        << QList<Status>{Timeout, Timeout, Timeout, Timeout, Timeout, NotConnected};
    const QStringList afterConnect{"--faults-after", afterHandshake()};
    QTest::newRow("light on ignored once, then its retry")
        << afterConnect + QStringList{"--drop", "L:1"} << QStringList{"on", "on", "off"}
        << QList<Status>{Timeout, Ok, Ok};
    QTest::newRow("brightness ignored once, then the same level again")
        << afterConnect + QStringList{"--drop", "B:1"} << QStringList{"B10", "B10", "B11", "off"}
        << QList<Status>{Timeout, Ok, Ok, Ok};
    QTest::newRow("status query ignored once, then another")
        << afterConnect + QStringList{"--drop", "S:1"} << QStringList{"status", "status", "on", "B10"}
        << QList<Status>{Timeout, Ok, Ok, Ok};
    QTest::newRow("status answered 600 ms late")
        << afterConnect + QStringList{"--latency-for", "S:600"} << QStringList{"status", "status", "on", "B10"}
        << QList<Status>{Timeout, Ok, Ok, Ok};
}

void FlatLibraryTest::silentBoxIsGivenUpAfterTwoTimeouts()
{
    QFETCH(QStringList, fault);
    QFETCH(QStringList, steps);
    QFETCH(QList<velmora::Status>, results);
    FlatBoxSim box;
    QVERIFY2(box.start(fault), qPrintable(box.errorText()));
    Flat flat;
    QCOMPARE(flat.connect(box.portName().constData(), false), unsigned(velmora::Ok));
    for (int i = 0; i < steps.size(); ++i) {
        unsigned result = velmora::Ok;
        const Cost cost = measure([&] { result = runStep(flat, steps[i], box.portName()); });
        QCOMPARE(result, unsigned(results[i]));
        const qint64 bound = result == velmora::NotConnected ? immediateMs : exchangeBoundMs;
        QVERIFY2(cost.wallMs < bound, qPrintable(describe(cost)));
        QVERIFY2(waitedIdly(cost), qPrintable(describe(cost)));
    }
    if (results.last() == velmora::NotConnected)
        QVERIFY(!isConnected(flat));
}

void FlatLibraryTest::vanishingBoxFailsPromptly_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("step");
    QTest::newRow("unplugged after connect, light on") << QStringList{"--unplug-after", afterHandshake()} << "on";
    QTest::newRow("unplugged after connect, brightness") << QStringList{"--unplug-after", afterHandshake()} << "B20";
    QTest::newRow("unplugged after connect, status") << QStringList{"--unplug-after", afterHandshake()} << "status";
    QTest::newRow("unplugged halfway through a reply") << QStringList{"--unplug-mid-reply", afterHandshake()} << "on";
    // The gap keeps the whole ping reply well inside a ping's 300 ms, also in a slow sanitizer build: a ping
    // that timed out would be answered by the unplug instead.
    QTest::newRow("unplugged halfway through a split reply")
        << QStringList{"--unplug-mid-reply", afterHandshake(), "--split-replies", "--split-gap-ms", "10"} << "B20";
}

void FlatLibraryTest::vanishingBoxFailsPromptly()
{
    QFETCH(QStringList, options);
    QFETCH(QString, step);
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    Flat flat;
    QCOMPARE(flat.connect(box.portName().constData(), false), unsigned(velmora::Ok));
    unsigned result = velmora::Ok;
    const Cost cost = measure([&] { result = runStep(flat, step, box.portName()); });
    QVERIFY(result != velmora::Ok);
    QVERIFY2(cost.wallMs < 400, qPrintable(describe(cost)));
    QVERIFY2(waitedIdly(cost), qPrintable(describe(cost)));
    QVERIFY(!isConnected(flat));

    for (const char *later : {"on", "B30", "off", "status"}) {
        const Cost laterCost = measure([&] { result = runStep(flat, later, box.portName()); });
        QCOMPARE(result, unsigned(velmora::NotConnected));
        QVERIFY2(laterCost.wallMs < immediateMs, qPrintable(describe(laterCost)));
    }
}

// In the program the box may vanish while the window waits for the user, or while a driver that never
// runs a Qt event loop (with an application object or none at all) does something else: the library
// sees it by itself, closes the port and tells the lost handler, on its own thread in such a program.
void FlatLibraryTest::vanishingBoxIsClosedWhileIdle_data()
{
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<QString>("program"); // "test": this test's own event loop; else the probe's arguments
    QTest::addColumn<bool>("lost");
    QTest::addColumn<int>("boundMs");
    const QStringList unplugged{"--unplug-after", afterHandshake()};
    QTest::newRow("unplugged, event loop running") << unplugged << "test" << true << 2000;
    QTest::newRow("unplugged, program without an application object") << unplugged << "none" << true << 2000;
    QTest::newRow("unplugged, application object whose loop never runs") << unplugged << "application" << true
                                                                         << 2000;
    QTest::newRow("unplugged, handler that throws") << unplugged << "none throw" << true << 2000;
    // A box that stays plugged in but falls silent: two idle status queries go unanswered.
    QTest::newRow("silent, program without an application object")
        << QStringList{"--silent-after", afterHandshake()} << "none" << true << 3000;
    QTest::newRow("silent, event loop running") << QStringList{"--silent-after", afterHandshake()} << "test" << true
                                                << 3000;
    QTest::newRow("idle status query answered 600 ms late")
        << QStringList{"--faults-after", afterHandshake(), "--latency-for", "S:600"} << "test" << false << 4000;
}

void FlatLibraryTest::vanishingBoxIsClosedWhileIdle()
{
    QFETCH(QStringList, fault);
    QFETCH(QString, program);
    QFETCH(bool, lost);
    QFETCH(int, boundMs);
    FlatBoxSim box;
    QVERIFY2(box.start(fault), qPrintable(box.errorText()));
    if (program != QLatin1String("test")) {
        QProcess probe;
        probe.start(QStringLiteral(VELMORA_LOSTBOX_PROBE), program.split(' ').mid(0, 1) + QStringList{box.port()}
                                                               + program.split(' ').mid(1));
        QVERIFY(probe.waitForFinished(15000));
        const QString output = QString::fromUtf8(probe.readAllStandardOutput());
        const QString errors = QString::fromUtf8(probe.readAllStandardError());
        const QRegularExpressionMatch heard
            = QRegularExpression(QStringLiteral("lost after (\\d+) ms on the library's thread\n")).match(output);
        QVERIFY2(heard.hasMatch(), qPrintable(output + errors));
        QVERIFY2(heard.captured(1).toInt() < boundMs, qPrintable(output));
        qInfo("%s: lost %s ms after the connect", QTest::currentDataTag(), qPrintable(heard.captured(1)));
        QVERIFY2(output.contains(QStringLiteral("calls after the loss: NotConnected")), qPrintable(output));
        QVERIFY2(!errors.contains(QStringLiteral("QSocketNotifier")), qPrintable(errors));
        QCOMPARE(errors.contains(QStringLiteral("flat box: the lost handler threw: handler failure")),
                 program.endsWith(QLatin1String("throw")));
        return;
    }
    Flat flat;
    bool heard = false;
    flat.setLostHandler([&heard](const std::string &) { heard = true; });
    QCOMPARE(flat.connect(box.portName().constData(), false), unsigned(velmora::Ok));
    const Cost idle = measure([&] { (void)QTest::qWaitFor([&heard] { return heard; }, boundMs); });
    const qint64 sinceAnswerMs = box.msSinceLastAnswer();
    QCOMPARE(heard, lost);
    if (lost) {
        qInfo("%s: lost %lld ms after the box's last answer", QTest::currentDataTag(), sinceAnswerMs);
        QVERIFY2(sinceAnswerMs < boundMs, qPrintable(QString::number(sinceAnswerMs)));
    }
    QVERIFY2(idle.cpuMs < 200, qPrintable(describe(idle)));
    // Closed while idle: the call does not even try the port.
    QCOMPARE(flat.turnOn(), unsigned(lost ? velmora::NotConnected : velmora::Ok));
    if (!lost)
        QCOMPARE(box.received().mid(handshake().size(), 2), (QStringList{">S000", ">S000"}));
}

void FlatLibraryTest::faultyRepliesAreBounded_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("answered");
    const QStringList afterConnect{"--faults-after", afterHandshake()};
    QTest::newRow("garbage") << afterConnect + QStringList{"--garbage"} << false;
    QTest::newRow("random bytes") << afterConnect + QStringList{"--random-bytes", "--seed", "7"} << false;
    QTest::newRow("one byte too long") << afterConnect + QStringList{"--overlong", "4"} << false;
    QTest::newRow("far too long") << afterConnect + QStringList{"--overlong", "1000000"} << false;
    QTest::newRow("split byte by byte") << afterConnect + QStringList{"--split-replies", "--split-gap-ms", "10"}
                                        << true;
    QTest::newRow("split and garbage") << afterConnect + QStringList{"--split-replies", "--garbage"} << false;
}

void FlatLibraryTest::faultyRepliesAreBounded()
{
    QFETCH(QStringList, options);
    QFETCH(bool, answered);
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    Flat flat;
    QCOMPARE(flat.connect(box.portName().constData(), false), unsigned(velmora::Ok));
    const QStringList steps{"on", "B10", "B11", "status", "off", "B12", "on", "B13"};
    for (const QString &step : steps) {
        unsigned result = velmora::Ok;
        const Cost cost = measure([&] { result = runStep(flat, step, box.portName()); });
        if (answered)
            QCOMPARE(result, unsigned(velmora::Ok));
        else
            QVERIFY2(result != velmora::Ok, qPrintable(step));
        QVERIFY2(cost.wallMs < exchangeBoundMs, qPrintable(step + ": " + describe(cost)));
        QVERIFY2(waitedIdly(cost), qPrintable(step + ": " + describe(cost)));
    }
}

// A box that streams bytes while the program waits in its event loop: Qt reads the port
// there, but keeps no more than a few kilobytes of it.
void FlatLibraryTest::floodWhileIdleIsBounded()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--faults-after", afterHandshake(), "--overlong", "20000000"}), qPrintable(box.errorText()));
    Flat flat;
    QCOMPARE(flat.connect(box.portName().constData(), false), unsigned(velmora::Ok));
    QCOMPARE(flat.turnOn(), unsigned(velmora::BadReply));
    const long peakBefore = peakMemoryKb();
    const Cost idle = measure([] { QTest::qWait(1000); });
    QVERIFY2(idle.cpuMs < 200, qPrintable(describe(idle)));
    const long grownKb = peakMemoryKb() - peakBefore;
    QVERIFY2(grownKb < 2048, qPrintable(QString::number(grownKb)));
    unsigned result = velmora::Ok;
    const Cost call = measure([&] { result = flat.turnOff(); });
    QCOMPARE(result, unsigned(velmora::BadReply));
    QVERIFY2(call.wallMs < exchangeBoundMs && waitedIdly(call), qPrintable(describe(call)));
}

void FlatLibraryTest::reconnectsToANewBoxAfterUnplug()
{
    // The first box is reached through a link that goes with the box, as a USB port's node does: its
    // pseudo-terminal's number may meanwhile serve another test process's box.
    QTemporaryDir nodes;
    const QByteArray node = QFile::encodeName(nodes.filePath(QStringLiteral("ttyACM0")));
    FlatBoxSim first;
    QVERIFY2(first.start({"--unplug-after", afterHandshake(1)}), qPrintable(first.errorText()));
    QVERIFY(QFile::link(first.port(), QFile::decodeName(node)));
    Flat flat;
    QCOMPARE(flat.connect(node.constData(), false), unsigned(velmora::Ok));
    QCOMPARE(flat.turnOn(), unsigned(velmora::Ok));
    QVERIFY(flat.setBrightness(40) != velmora::Ok);
    QVERIFY(QFile::remove(QFile::decodeName(node)));
    QVERIFY(flat.connect(node.constData(), false) != velmora::Ok);

    FlatBoxSim second;
    QVERIFY2(second.start(), qPrintable(second.errorText()));
    QCOMPARE(flat.connect(second.portName().constData(), false), unsigned(velmora::Ok));
    QCOMPARE(flat.turnOn(), unsigned(velmora::Ok));
    QCOMPARE(flat.setBrightness(40), unsigned(velmora::Ok));
    QCOMPARE(second.accepted(), (handshake() + QStringList{">L000", ">B040"}));
}

void FlatLibraryTest::connectingAgainClosesTheOldPort()
{
    FlatBoxSim first;
    FlatBoxSim second;
    QVERIFY2(first.start(), qPrintable(first.errorText()));
    QVERIFY2(second.start(), qPrintable(second.errorText()));
    Flat flat;
    QCOMPARE(flat.connect(first.portName().constData(), false), unsigned(velmora::Ok));
    QCOMPARE(flat.connect(second.portName().constData(), false), unsigned(velmora::Ok));
    QCOMPARE(flat.turnOn(), unsigned(velmora::Ok));
    // The first port is free again: the same object and a second one can open it.
    QCOMPARE(flat.connect(first.portName().constData(), false), unsigned(velmora::Ok));
    QCOMPARE(flat.connect(first.portName().constData(), false), unsigned(velmora::Ok));
    QCOMPARE(flat.disconnect(), unsigned(velmora::Ok));
    Flat other;
    QCOMPARE(other.connect(first.portName().constData(), false), unsigned(velmora::Ok));
    QCOMPARE(first.accepted(), (handshake() + handshake() + handshake() + handshake()));
    QCOMPARE(second.accepted(), handshake() + QStringList{">L000"});
}

// A connect that finds no box leaves the caller's identity as it was.
void FlatLibraryTest::failedConnectWithIdentityLeavesItUntouched()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--silent-after", "0"}), qPrintable(box.errorText()));
    Flat flat;
    velmora::Identity identity;
    identity.productId = 42;
    QCOMPARE(flat.connect(box.portName().constData(), true, identity), unsigned(velmora::Timeout));
    QCOMPARE(identity.productId, 42);
    QVERIFY(identity.firmware.empty());
}

// The rule a lost box's watcher applies at each look at its port's path: a node that is there and was not at the
// look before is a box plugged in again; the lost box's own node, or nothing, is not.
void FlatLibraryTest::portReturnIsANewNode_data()
{
    QTest::addColumn<bool>("nodeAtLoss");
    QTest::addColumn<QStringList>("looks"); // what happened to the path before each look, and the look's answer
    QTest::newRow("the lost box's node stays") << true << QStringList{"nothing:no", "nothing:no"};
    QTest::newRow("pulled and plugged in again")
        << true << QStringList{"remove:no", "nothing:no", "link a:yes", "nothing:no"};
    QTest::newRow("link pointed at another node") << true << QStringList{"link b:yes", "nothing:no"};
    QTest::newRow("node behind the link made anew") << true << QStringList{"replace a:yes", "nothing:no"};
    QTest::newRow("nothing there at the loss, then a node") << false << QStringList{"nothing:no", "link b:yes"};
}

void FlatLibraryTest::portReturnIsANewNode()
{
    QFETCH(bool, nodeAtLoss);
    QFETCH(QStringList, looks);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("port"));
    auto makeFile = [&dir](const QString &name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::WriteOnly);
    };
    QVERIFY(makeFile("a") && makeFile("b"));
    if (nodeAtLoss)
        QVERIFY(QFile::link(dir.filePath("a"), path));
    velmora::PortReturn watch(QFile::encodeName(path).toStdString());
    for (const QString &look : looks) {
        const QString action = look.section(':', 0, 0);
        if (action == QLatin1String("remove")) {
            QVERIFY(QFile::remove(path));
        } else if (action.startsWith(QLatin1String("link "))) {
            QFile::remove(path);
            QVERIFY(QFile::link(dir.filePath(action.mid(5)), path));
        } else if (action.startsWith(QLatin1String("replace "))) {
            // Made before the old one goes, so that it cannot get the old inode again.
            const QString target = dir.filePath(action.mid(8));
            QVERIFY(makeFile(action.mid(8) + ".new"));
            QVERIFY(::rename(QFile::encodeName(target + ".new").constData(), QFile::encodeName(target).constData()) == 0);
        }
        QCOMPARE(watch.hasComeBack() ? QStringLiteral("yes") : QStringLiteral("no"), look.section(':', 1));
    }
}

QTEST_GUILESS_MAIN(FlatLibraryTest)
#include "tst_flatlibrary.moc"
