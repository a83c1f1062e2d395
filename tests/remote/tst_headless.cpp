// The server without a window: velmora-flat --headless with no display, the box simulator behind a link, and a real
// Alpaca client on loopback. A lost box and its return show in its log; SIGTERM switches the lamp off at the box.
#include "alpacaclient.h"
#include "flatboxsim.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
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

class HeadlessServer
{
public:
    ~HeadlessServer()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // Starts the program with automatic search on and the box's port listed; waits for its Alpaca port.
    bool start(const QString &boxPort)
    {
        QSettings settings(config.filePath(QStringLiteral("VELMORA/VELMORA Flat Box.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("auto_search"), QStringLiteral("true"));
        settings.setValue(QStringLiteral("alpaca/port"), 0);
        settings.setValue(QStringLiteral("alpaca/discovery_port"), 0);
        settings.sync();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        environment.insert(QStringLiteral("VELMORA_FLAT_EXTRA_PORTS"), boxPort);
        process.setProcessEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(VELMORA_EXECUTABLE), {QStringLiteral("--headless")});
        static const QRegularExpression listening(QStringLiteral("Alpaca server:  \".* port (\\d+)\""));
        return waitForLine(listening, [this](const QRegularExpressionMatch &match) {
            httpPort = match.captured(1).toInt();
        });
    }

    template<class Found>
    bool waitForLine(const QRegularExpression &pattern, Found found)
    {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 15000) {
            for (const QString &line : lines())
                if (const QRegularExpressionMatch match = pattern.match(line); match.hasMatch()) {
                    found(match);
                    return true;
                }
            if (!process.waitForReadyRead(200) && process.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }

    bool waitForLine(const QString &text)
    {
        return waitForLine(QRegularExpression(QRegularExpression::escape(text)), [](const QRegularExpressionMatch &) {});
    }

    QStringList lines()
    {
        log += QString::fromUtf8(process.readAll());
        return log.split(QLatin1Char('\n'));
    }

    int call(const QString &member) { return httpCall(httpPort, "GET " + device(member + "?") + client).value().toInt(-1); }

    QTemporaryDir config;
    QProcess process;
    QString log;
    int httpPort = 0;
};

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
    QTest::newRow("SIGTERM") << "SIGTERM" << QStringList{"stopping on signal 15"} << ">D000";
    QTest::newRow("SIGINT") << "SIGINT" << QStringList{"stopping on signal 2"} << ">D000";
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
        ::kill(server.process.processId(), then == QLatin1String("SIGTERM") ? SIGTERM : SIGINT);
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
