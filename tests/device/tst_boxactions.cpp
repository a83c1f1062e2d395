// The box's actions of the device library (velmora/boxactions.h), each against the box simulator on a
// pseudo-terminal: the commands on the wire in their order, where the lamp-on attempts pause, the outcome, and the
// lamp as the box reports it afterwards.
#include "devicetest.h"
#include "flatboxsim.h"
#include "velmora/boxactions.h"

#include <QtTest>

using namespace devicetest;

namespace {

// At least this long between two commands means the action paused there (its pause is 200 ms).
const qint64 pauseMs = 190;

QString stepName(velmora::ActionStep step)
{
    switch (step) {
    case velmora::ActionStep::None:
        return QStringLiteral("none");
    case velmora::ActionStep::Connect:
        return QStringLiteral("connect");
    case velmora::ActionStep::ReadState:
        return QStringLiteral("read state");
    case velmora::ActionStep::Level:
        return QStringLiteral("level");
    case velmora::ActionStep::Lamp:
        return QStringLiteral("lamp");
    }
    return QString();
}

QString lampText(const velmora::BoxState &state)
{
    return QStringLiteral("%1 %2").arg(state.lampOn ? "lit" : "dark").arg(state.brightness);
}

// "dark 0" or "lit 120" as the box reports it now, or "gone".
QString lampReported(velmora::Flat &flat)
{
    velmora::BoxState state;
    return flat.readState(state) == velmora::Ok ? lampText(state) : QStringLiteral("gone");
}

} // namespace

class BoxActionsTest : public QObject
{
    Q_OBJECT

private slots:
    void eachActionOnTheWire_data();
    void eachActionOnTheWire();
};

void BoxActionsTest::eachActionOnTheWire_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("commands");  // after connect's first handshake, the final lamp reading included
    QTest::addColumn<QList<int>>("pausesBefore"); // indexes in `commands` that follow a pause
    QTest::addColumn<QString>("failed");        // the step that failed, "none"
    QTest::addColumn<QString>("lampAfter");     // as the box reports it afterwards

    const QStringList reading = {">S000", ">J000"};
    const QStringList again = handshake();

    QTest::newRow("connect and read, a box lit at power-up")
        << QStringList{"--lit-at-boot", "200"} << "connect and read" << reading + reading << QList<int>{} << "none"
        << "lit 200";
    QTest::newRow("connect and read, a dark box")
        << QStringList() << "connect and read" << reading + reading << QList<int>{} << "none" << "dark 0";
    QTest::newRow("connect and read, the level never answered: disconnected")
        << QStringList{"--faults-after", afterHandshake(1), "--drop", "J:9"} << "connect and read"
        << QStringList{">S000"} << QList<int>{} << "read state" << "gone";

    QTest::newRow("light at a level") << QStringList() << "light 120" << QStringList{">B120", ">L000"} + reading
                                      << QList<int>{} << "none" << "lit 120";
    QTest::newRow("light at a level, the first attempt refused")
        << QStringList{"--refuse-light-on", "1"} << "light 120" << QStringList{">B120", ">L000", ">L000"} + reading
        << QList<int>{2} << "none" << "lit 120";
    QTest::newRow("light at a level, every attempt refused")
        << QStringList{"--refuse-light-on", "3"} << "light 120"
        << QStringList{">B120", ">L000", ">L000", ">L000"} + reading << QList<int>{2, 3} << "lamp" << "dark 120";

    QTest::newRow("switch off a box lit at power-up")
        << QStringList{"--lit-at-boot", "180"} << "switch off" << QStringList{">B000", ">D000"} + reading
        << QList<int>{} << "none" << "dark 0";

    QTest::newRow("restore a lit lamp after a return")
        << QStringList() << "restore lit 90" << again + QStringList{">B090", ">L000"} + reading << QList<int>{}
        << "none" << "lit 90";
    QTest::newRow("restore a dark lamp on a box that lit itself at its reset")
        << QStringList{"--lit-at-boot", "255"} << "restore dark 30" << again + QStringList{">B030", ">D000"} + reading
        << QList<int>{} << "none" << "dark 30";
    QTest::newRow("restore a lit lamp, the first attempt refused")
        << QStringList{"--refuse-light-on", "1"} << "restore lit 90"
        << again + QStringList{">B090", ">L000", ">L000"} + reading << QList<int>{again.size() + 2} << "none"
        << "lit 90";

    // The panel's switch pauses after its last attempt too; the others go on at once (see bench/indi).
    QTest::newRow("lamp-on attempts of the panel's switch, two refused")
        << QStringList{"--refuse-light-on", "2"} << "attempts after every"
        << QStringList{">L000", ">L000", ">L000"} + reading << QList<int>{1, 2, 3} << "none" << "lit 0";
    QTest::newRow("lamp-on attempts pausing before a retry, two refused")
        << QStringList{"--refuse-light-on", "2"} << "attempts before retry"
        << QStringList{">L000", ">L000", ">L000"} + reading << QList<int>{1, 2} << "none" << "lit 0";
    QTest::newRow("lamp-on attempts pausing before a retry, all refused")
        << QStringList{"--refuse-light-on", "3"} << "attempts before retry"
        << QStringList{">L000", ">L000", ">L000"} + reading << QList<int>{1, 2} << "lamp" << "dark 0";
}

void BoxActionsTest::eachActionOnTheWire()
{
    QFETCH(QStringList, options);
    QFETCH(QString, action);
    QFETCH(QStringList, commands);
    QFETCH(QList<int>, pausesBefore);
    QFETCH(QString, failed);
    QFETCH(QString, lampAfter);
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    velmora::Flat flat;
    const QByteArray port = box.portName();

    velmora::ActionOutcome outcome;
    if (action == QLatin1String("connect and read")) {
        velmora::BoxReading reading;
        outcome = velmora::connectAndRead(flat, port.constData(), reading);
        if (outcome.succeeded()) {
            QCOMPARE(lampText(reading.lamp), lampAfter);
            QCOMPARE(reading.identity.productId, 19);
        }
    } else {
        QCOMPARE(flat.connect(port.constData(), false), unsigned(velmora::Ok));
        const QStringList words = action.split(QLatin1Char(' '));
        if (words.first() == QLatin1String("light")) {
            outcome = velmora::lightAtLevel(flat, words.at(1).toUInt());
        } else if (action == QLatin1String("switch off")) {
            outcome = velmora::switchOff(flat);
        } else if (words.first() == QLatin1String("restore")) {
            const velmora::BoxState wanted{words.at(1) == QLatin1String("lit"), words.at(2).toUInt()};
            velmora::Identity identity;
            outcome = velmora::restoreAfterReturn(flat, port.constData(), wanted, identity);
            QCOMPARE(identity.productId, 19);
        } else {
            const auto pause = words.last() == QLatin1String("every") ? velmora::LampOnPause::AfterEveryAttempt
                                                                     : velmora::LampOnPause::BeforeRetry;
            QList<int> attempts;
            const unsigned status = velmora::switchLampOn(flat, pause, [&](int attempt, unsigned) {
                attempts.append(attempt);
            });
            QCOMPARE(attempts.size(), commands.size() - 2);
            if (status != velmora::Ok)
                outcome = {status, velmora::ActionStep::Lamp};
        }
    }
    QCOMPARE(stepName(outcome.failed), failed);
    QCOMPARE(outcome.succeeded(), outcome.status == unsigned(velmora::Ok));
    QCOMPARE(lampReported(flat), lampAfter);

    const int connectCommands = handshake().size();
    QCOMPARE(box.accepted().mid(connectCommands), commands);
    const QList<qint64> at = box.acceptedAtMs().mid(connectCommands);
    QList<int> paused;
    for (int i = 1; i < at.size(); ++i) {
        if (at[i] - at[i - 1] >= pauseMs)
            paused.append(i);
    }
    // A slow machine may add a gap, never take one away.
    for (int index : pausesBefore)
        QVERIFY2(paused.contains(index), qPrintable(QStringLiteral("no pause before command %1").arg(index)));
}

QTEST_GUILESS_MAIN(BoxActionsTest)
#include "tst_boxactions.moc"
