// The box simulator as a third-party client of the command set sees it.
#include "flatboxsim.h"

#include <QtTest>
#include <QSerialPort>

#include <csignal>

namespace {

// Opens the simulator's port as any serial client would and asks one command at a time.
class Client
{
public:
    bool open(const QString &path)
    {
        port.setPortName(path);
        port.setBaudRate(QSerialPort::Baud9600);
        return port.open(QIODevice::ReadWrite);
    }

    // The reply up to its '\n', or what came before the wait ran out.
    QByteArray ask(const QByteArray &command, int waitMs = 300)
    {
        port.write(command);
        port.waitForBytesWritten(waitMs);
        QByteArray reply;
        QElapsedTimer clock;
        clock.start();
        while (!reply.endsWith('\n') && clock.elapsed() < waitMs) {
            if (port.bytesAvailable() == 0 && !port.waitForReadyRead(int(waitMs - clock.elapsed())))
                break;
            reply += port.readAll();
        }
        return reply;
    }

    QSerialPort port;
};

const QStringList startingDriverCommands{">P000\n", ">V000\n", ">S000\n", ">J000\n", ">S000\n", ">S000\n"};

} // namespace

class FlatBoxSimTest : public QObject
{
    Q_OBJECT

private slots:
    void answersTheCommandSet_data();
    void answersTheCommandSet();
    void ignoresInputWhileBooting();
    void resetsAtEveryOpen();
    void servesOneClientAfterAnother();
    void delaysExchangesOnAModelledLine();
    void unplugRemovesThePort();
    void logsEachCommandWithATimeStamp();
    void ends_data();
    void ends();
    void refusesUnknownOptions();
};

void FlatBoxSimTest::answersTheCommandSet_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<QStringList>("replies");
    QTest::newRow("a driver's start and status polling")
        << QStringList() << startingDriverCommands
        << QStringList{"*P19OOO\n", "*V19001\n", "*S19000\n", "*J19000\n", "*S19000\n", "*S19000\n"};
    QTest::newRow("status follows the light")
        << QStringList() << QStringList{">L000\n", ">S000\n", ">D000\n", ">S000\n"}
        << QStringList{"*L19000\n", "*S19010\n", "*D19000\n", "*S19000\n"};
    QTest::newRow("brightness kept and held to 255")
        << QStringList() << QStringList{">B128\n", ">J000\n", ">B300\n", ">J000\n", ">B000\n"}
        << QStringList{"*B19128\n", "*J19128\n", "*B19255\n", "*J19255\n", "*B19000\n"};
    QTest::newRow("carriage return endings")
        << QStringList() << QStringList{">P000\r", ">L000\r\n", ">S000\r\n"}
        << QStringList{"*P19OOO\n", "*L19000\n", "*S19010\n"};
    QTest::newRow("product id") << QStringList{"--product-id", "15"} << QStringList{">P000\n", ">B007\n"}
                                << QStringList{"*P15OOO\n", "*B15007\n"};
    QTest::newRow("panel with a cover")
        << QStringList{"--product-id", "99"}
        << QStringList{">S000\n", ">O000\n", ">S000\n", ">L000\n", ">S000\n", ">C000\n", ">S000\n"}
        << QStringList{"*S99001\n", "*O99000\n", "*S99002\n", "*L99000\n", "*S99012\n", "*C99000\n",
                       "*S99011\n"};
    QTest::newRow("no cover on a light panel") << QStringList() << QStringList{">O000\n", ">P000\n"}
                                               << QStringList{"", "*P19OOO\n"};
    QTest::newRow("refused light-on")
        << QStringList{"--refuse-light-on", "2"}
        << QStringList{">L000\n", ">S000\n", ">L000\n", ">L000\n", ">S000\n"}
        << QStringList{"*D19000\n", "*S19000\n", "*D19000\n", "*L19000\n", "*S19010\n"};
    QTest::newRow("silent after two commands")
        << QStringList{"--silent-after", "2"} << QStringList{">P000\n", ">L000\n", ">P000\n", ">D000\n"}
        << QStringList{"*P19OOO\n", "*L19000\n", "", ""};
    QTest::newRow("unknown and malformed lines ignored")
        << QStringList() << QStringList{">Z000\n", "hello\n", ">B12\n", ">b100\n", ">P000\n"}
        << QStringList{"", "", "", "", "*P19OOO\n"};
    QTest::newRow("faults only after the given count")
        << QStringList{"--garbage", "--faults-after", "1"} << QStringList{">P000\n", ">P000\n"}
        << QStringList{"*P19OOO\n", "*X19OOO\n"};
    QTest::newRow("overlong replies") << QStringList{"--overlong", "12"} << QStringList{">B005\n"}
                                      << QStringList{"*B19000000000000\n"};
    QTest::newRow("CR only, digits, CR LF replies")
        << QStringList{"--terminator", "cr", "--filler", "digit", "--reply-end", "crlf"}
        << QStringList{">P000\r", ">L000\n\r", ">POOO\r"} << QStringList{"*P19000\r\n", "*L19000\r\n", ""};
    QTest::newRow("letters only") << QStringList{"--filler", "letter"}
                                  << QStringList{">P000\n", ">POOO\n", ">LOOO\n", ">B005\n", ">SOOO\n"}
                                  << QStringList{"", "*P19OOO\n", "*L19OOO\n", "*B19005\n", "*S19010\n"};
    QTest::newRow("either filler") << QStringList{"--filler", "any"} << QStringList{">P000\n", ">DOOO\n"}
                                   << QStringList{"*P19OOO\n", "*D19OOO\n"};
    QTest::newRow("draining CR firmware: a late LF spoils the next command")
        << QStringList{"--terminator", "cr", "--filler", "digit", "--drain"}
        << QStringList{">S000\r\n", ">L000\r", ">S000\r"} << QStringList{"*S19000\n", "", "*S19000\n"};
    QTest::newRow("LF firmware glues a CR-ended command to the next")
        << QStringList{"--terminator", "lf", "--filler", "digit"} << QStringList{">P000\r>L000\n", ">S000\n"}
        << QStringList{"*P19000\n", "*S19000\n"};
    QTest::newRow("lit at power-up") << QStringList{"--lit-at-boot", "180"} << QStringList{">S000\n", ">J000\n"}
                                     << QStringList{"*S19010\n", "*J19180\n"};
    QTest::newRow("next commands of one letter ignored")
        << QStringList{"--drop", "L:2"} << QStringList{">L000\n", ">S000\n", ">L000\n", ">L000\n"}
        << QStringList{"", "*S19000\n", "", "*L19000\n"};
    QTest::newRow("ignored only after the given count")
        << QStringList{"--drop", "S:1", "--faults-after", "1"} << QStringList{">S000\n", ">S000\n", ">S000\n"}
        << QStringList{"*S19000\n", "", "*S19000\n"};
    QTest::newRow("one letter late, the others at once")
        << QStringList{"--latency-for", "S:150"} << QStringList{">P000\n", ">S000\n", ">L000\n"}
        << QStringList{"*P19OOO\n", "*S19000\n", "*L19000\n"};
    QTest::newRow("split replies arrive whole") << QStringList{"--split-replies"} << QStringList{">P000\n"}
                                                << QStringList{"*P19OOO\n"};
}

void FlatBoxSimTest::answersTheCommandSet()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, commands);
    QFETCH(QStringList, replies);
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    Client client;
    QVERIFY(client.open(box.port()));
    for (int i = 0; i < commands.size(); ++i)
        QCOMPARE(QString::fromLatin1(client.ask(commands[i].toLatin1())), replies[i]);
}

void FlatBoxSimTest::ignoresInputWhileBooting()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--boot-delay-ms", "600"}), qPrintable(box.errorText()));
    Client client;
    QVERIFY(client.open(box.port()));
    QCOMPARE(client.ask(">P000\n"), QByteArray());
    // Only time ends the boot loader's deafness: the wait runs well past it, for a simulator that a loaded
    // machine schedules late.
    QTest::qWait(1000);
    QCOMPARE(client.ask(">P000\n"), QByteArray("*P19OOO\n"));
    QCOMPARE(box.received(), (QStringList{">P000 (booting)", ">P000"}));
}

// Opening the port resets the board: deaf again through the boot loader, lamp dark. A draining
// firmware waiting for its terminator answers after its read time-out.
void FlatBoxSimTest::resetsAtEveryOpen()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--boot-delay-ms", "400", "--terminator", "lf", "--drain"}), qPrintable(box.errorText()));
    for (int round = 0; round < 2; ++round) {
        Client client;
        QVERIFY(client.open(box.port()));
        QCOMPARE(client.ask(">L000\n", 200), QByteArray());
        QTest::qWait(600); // past the boot, with room for a loaded machine (only time ends it)
        QCOMPARE(client.ask(">S000\n"), QByteArray("*S19000\n"));
        QCOMPARE(client.ask(">L000\n"), QByteArray("*L19000\n"));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(client.ask(">S000\r", 1500), QByteArray("*S19010\n"));
        QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));
    }
}

void FlatBoxSimTest::servesOneClientAfterAnother()
{
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    for (int round = 0; round < 3; ++round) {
        Client client;
        QVERIFY(client.open(box.port()));
        QCOMPARE(client.ask(">L000\n"), QByteArray("*L19000\n"));
        QCOMPARE(client.ask(">S000\n"), QByteArray("*S19010\n"));
    }
}

void FlatBoxSimTest::delaysExchangesOnAModelledLine()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--line-rate", "9600"}), qPrintable(box.errorText()));
    Client client;
    QVERIFY(client.open(box.port()));
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 10; ++i)
        QCOMPARE(client.ask(">P000\n"), QByteArray("*P19OOO\n"));
    // 14 bytes of 10 bits each at 9600 baud: 14.6 ms per exchange at least.
    QVERIFY2(clock.elapsed() >= 145, qPrintable(QString::number(clock.elapsed())));
}

void FlatBoxSimTest::unplugRemovesThePort()
{
    FlatBoxSim box;
    QVERIFY2(box.start({"--unplug-after", "1"}), qPrintable(box.errorText()));
    Client client;
    QVERIFY(client.open(box.port()));
    QCOMPARE(client.ask(">P000\n"), QByteArray("*P19OOO\n"));
    QTRY_VERIFY(!QFile::exists(box.port()));
    client.port.write(">P000\n");
    QVERIFY(!client.port.waitForBytesWritten(300) || !client.port.waitForReadyRead(300));
    QVERIFY(client.port.error() != QSerialPort::NoError);
}

void FlatBoxSimTest::logsEachCommandWithATimeStamp()
{
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    Client client;
    QVERIFY(client.open(box.port()));
    client.ask(">P000\n");
    client.ask("junk\n");
    client.ask(">B099\n");
    QCOMPARE(box.received(), (QStringList{">P000", "junk (not a command)", ">B099"}));
    QCOMPARE(box.accepted(), (QStringList{">P000", ">B099"}));
}

void FlatBoxSimTest::ends_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("standard input closes") << 0;
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void FlatBoxSimTest::ends()
{
    QFETCH(int, signal);
    QProcess sim;
    sim.start(QStringLiteral(VELMORA_FLATBOX_SIM), QStringList());
    QVERIFY(sim.waitForReadyRead(5000));
    const QString path = QString::fromUtf8(sim.readLine()).trimmed();
    QVERIFY2(path.startsWith("/dev/"), qPrintable(path));
    if (signal == 0)
        sim.closeWriteChannel();
    else
        ::kill(pid_t(sim.processId()), signal);
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
}

void FlatBoxSimTest::refusesUnknownOptions()
{
    QProcess sim;
    sim.start(QStringLiteral(VELMORA_FLATBOX_SIM), QStringList{"--line-rate", "fast"});
    QVERIFY(sim.waitForFinished(3000));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardError().contains("Usage"));
}

QTEST_GUILESS_MAIN(FlatBoxSimTest)
#include "tst_flatboxsim.moc"
