// The server without a window: velmora-flat --headless with no display, the box simulator behind a link, and a real
// Alpaca client on loopback. A lost box and its return show in its log; SIGTERM, SIGINT and SIGHUP switch the lamp
// off at the box.
#include "alpacaclient.h"
#include "flatboxsim.h"
#include "panelprocess.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const QString client = QStringLiteral("ClientID=7");

// The commands the box took in, without the library's own status queries.
QString commands(const FlatBoxSim &box)
{
    return box.accepted().filter(QRegularExpression(QStringLiteral("^>[^S]"))).join(QLatin1Char(' '));
}

using HeadlessServer = PanelProcess;

} // namespace

class HeadlessTest : public QObject
{
    Q_OBJECT

private slots:
    void servesTheBoxWithoutADisplay_data();
    void servesTheBoxWithoutADisplay();

private:
    QTemporaryDir links;
};

void HeadlessTest::servesTheBoxWithoutADisplay_data()
{
    QTest::addColumn<QString>("then");          // what happens once a client has lit the lamp at 128
    QTest::addColumn<QStringList>("logLines");  // lines the log shows afterwards, in order
    QTest::addColumn<QString>("lastCommands");  // what the (last) box took in at the end
    QTest::newRow("client switches off") << "calibratoroff" << QStringList() << ">B000 >D000";
    QTest::newRow("box lost and back") << "replug" << QStringList{"flat box lost", "connect to ", "flat box back"}
                                       << ">P000 >J000 >V000 >B128 >L000";
    QTest::newRow("SIGTERM") << "SIGTERM" << QStringList{"stopping on SIGTERM"} << ">D000";
    QTest::newRow("SIGINT") << "SIGINT" << QStringList{"stopping on SIGINT"} << ">D000";
    QTest::newRow("SIGHUP") << "SIGHUP" << QStringList{"stopping on SIGHUP"} << ">D000";
}

void HeadlessTest::servesTheBoxWithoutADisplay()
{
    QFETCH(QString, then);
    QFETCH(QStringList, logLines);
    QFETCH(QString, lastCommands);
    const QString link = links.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    QVERIFY(QFile::link(box.port(), link));
    HeadlessServer server;
    QVERIFY2(server.start(link), qPrintable(server.lines().join('\n')));
    QVERIFY(server.waitForLine(QStringLiteral("connection accomplished")));

    QCOMPARE(httpCall(server.httpPort, "PUT " + device("connected"), "Connected=true&" + client).errorNumber(), 0);
    QCOMPARE(httpCall(server.httpPort, "PUT " + device("calibratoron"), "Brightness=128&" + client).errorNumber(), 0);
    QTRY_COMPARE(server.call(QStringLiteral("calibratorstate")), 3);
    QCOMPARE(server.call(QStringLiteral("brightness")), 128);
    // The connect reads the lamp (">J000" after the version), calibratoron gives the level, then lights the lamp.
    QCOMPARE(commands(box), QStringLiteral(">P000 >J000 >V000 >J000 >B128 >L000"));
    const int before = commands(box).count(QLatin1Char(' ')) + 1;

    FlatBoxSim replugged;
    if (then == QLatin1String("calibratoroff")) {
        QCOMPARE(httpCall(server.httpPort, "PUT " + device("calibratoroff"), client).errorNumber(), 0);
        QTRY_COMPARE(server.call(QStringLiteral("calibratorstate")), 1);
    } else if (then == QLatin1String("replug")) {
        // The box goes, its port with it, and comes back on another pseudo-terminal (a new node behind the link).
        QVERIFY2(replugged.start(), qPrintable(replugged.errorText()));
        box.stop();
        QFile::remove(link);
        QVERIFY(server.waitForLine(QStringLiteral("flat box lost")));
        QVERIFY(QFile::link(replugged.port(), link));
        QVERIFY2(server.waitForLine(QStringLiteral("flat box back")), qPrintable(server.lines().join('\n')));
        QTRY_COMPARE(server.call(QStringLiteral("calibratorstate")), 3);
        QCOMPARE(server.call(QStringLiteral("brightness")), 128);
    } else {
        const int signalNumber = then == QLatin1String("SIGTERM") ? SIGTERM : then == QLatin1String("SIGINT") ? SIGINT : SIGHUP;
        ::kill(server.process.processId(), signalNumber);
        QVERIFY(server.process.waitForFinished(10000));
        QCOMPARE(server.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(server.process.exitCode(), 0);
    }

    const FlatBoxSim &last = then == QLatin1String("replug") ? replugged : box;
    QTRY_VERIFY(commands(last).endsWith(lastCommands));
    if (then != QLatin1String("replug"))
        QCOMPARE(commands(box).split(' ').mid(before).join(' '), lastCommands);
    QStringList seen = server.lines();
    int at = 0;
    for (const QString &expected : logLines) {
        while (at < seen.size() && !seen.at(at).contains(expected))
            ++at;
        QVERIFY2(at < seen.size(), qPrintable(expected + " not in:\n" + seen.join('\n')));
    }
}

QTEST_GUILESS_MAIN(HeadlessTest)
#include "tst_headless.moc"
