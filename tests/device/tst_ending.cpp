// The window told to end from outside: SIGTERM, SIGINT or SIGHUP, or the application quitting while the window waits
// for the box. The real window and library against the box simulator, in this process and as the program itself;
// the lamp goes off, the box is disconnected, and a table with unsaved edits is kept and named at the next start.
#include "alpacaclient.h"
#include "devicetest.h"
#include "dialogs.h"
#include "flatboxsim.h"
#include "panelprocess.h"
#include "tablerecovery.h"
#include "testmain.h"
#include "unsavedtable.h"
#include "windowending.h"
#include "windowtest.h"

#include "boxwatcher.h"
#include "configfile.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSerialPort>
#include <QSlider>
#include <QTimer>

#include <csignal>
#include <functional>
#include <unistd.h>

namespace {

const QString editedLine = QStringLiteral("CCD 1x1 Red 7 144");

// The last lamp command the box took in, ">L..." or ">D...", or nothing.
QString lastLampCommand(const FlatBoxSim &box)
{
    const QStringList lampCommands =
        box.accepted().filter(QRegularExpression(QStringLiteral("^>[LD]")));
    return lampCommands.isEmpty() ? QString() : lampCommands.last().left(2);
}

bool portIsFree(const QString &path)
{
    QSerialPort port(path);
    const bool opened = port.open(QIODevice::ReadWrite);
    port.close();
    return opened;
}

bool plugIn(const QString &link, const FlatBoxSim &box)
{
    QFile::remove(link);
    return QFile::link(box.port(), link);
}

// What start-up builds, in its order: the ending first, so that it hears a stop during the window's own search.
struct Program
{
    explicit Program(const QString &autoSearch)
    {
        DialogResponder::instance().clear();
        ending = std::make_unique<WindowEnding>();
        window = makeWindow(autoSearch);
        watchForLostBox(*window);
        guardUnsavedTable(*window);
        ending->watch(*window);
        window->show();
    }
    std::unique_ptr<WindowEnding> ending;
    std::unique_ptr<VelmoraFlat> window;
};

// The application's event loop, as main() runs it, with `begin` run from it; returns once the loop has returned.
// A run that does not end by itself is ended after 20 s.
bool runEventLoop(const std::function<void()> &begin)
{
    bool endedByItself = true;
    QTimer::singleShot(0, qApp, begin);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, qApp, [&endedByItself] {
        endedByItself = false;
        QCoreApplication::quit();
    });
    watchdog.start(20000);
    QApplication::exec();
    return endedByItself;
}

void sendStop(const QString &how)
{
    if (how == QLatin1String("quit"))
        QCoreApplication::quit();
    else
        ::kill(::getpid(), how == QLatin1String("SIGTERM") ? SIGTERM : how == QLatin1String("SIGINT") ? SIGINT : SIGHUP);
}

std::vector<QString> linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return configfile::readConfiguration(file).lines;
}

const QString keptTitle = QStringLiteral("Unsaved Configurations Kept");

// The message boxes shown with this title, oldest first.
QList<ShownDialog> boxesTitled(const QString &title)
{
    QList<ShownDialog> titled;
    for (const ShownDialog &box : DialogResponder::instance().shownMessageBoxes())
        if (box.title == title)
            titled.append(box);
    return titled;
}

void removeKeptTables()
{
    QDir(keptTablesFolder()).removeRecursively();
}

} // namespace

class EndingTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { removeKeptTables(); }
    void cleanup() { qunsetenv("VELMORA_FLAT_EXTRA_PORTS"); }
    void endsDuringAWait_data();
    void endsDuringAWait();
    void nextStartNamesTheKeptTableOnce();
    void closedWindowKeepsNothing();
    void programEndsOnRequest_data();
    void programEndsOnRequest();

private:
    QTemporaryDir links;
};

void EndingTest::endsDuringAWait_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("box");    // the simulator's options
    QTest::addColumn<QString>("autoSearch"); // the window connects at start
    QTest::addColumn<QString>("stopAt");     // the command the (returning) box has received when the stop comes
    QTest::addColumn<QString>("how");
    const QStringList booting{"--boot-delay-ms", "300"};
    const QStringList refusing{"--refuse-light-on", "2"}; // the third attempt lights the lamp
    for (const QString how : {"SIGTERM", "quit"}) {
        QTest::addRow("search, %s", qPrintable(how)) << "ST_connectButton" << booting << "" << ">" << how;
        QTest::addRow("connect, %s", qPrintable(how)) << "MT_serialConnect" << booting << "" << ">" << how;
        QTest::addRow("lamp-on attempts, %s", qPrintable(how)) << "MT_lampSwitch" << refusing << "true" << ">L" << how;
        QTest::addRow("a return, %s", qPrintable(how)) << "return" << booting << "true" << ">" << how;
    }
    QTest::newRow("lamp-on attempts, SIGINT") << "MT_lampSwitch" << refusing << "true" << ">L" << "SIGINT";
    QTest::newRow("lamp-on attempts, SIGHUP") << "MT_lampSwitch" << refusing << "true" << ">L" << "SIGHUP";
}

// The stop comes while the box is busy with the operation; the program then ends with the box's current command.
void EndingTest::endsDuringAWait()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, box);
    QFETCH(QString, autoSearch);
    QFETCH(QString, stopAt);
    QFETCH(QString, how);
    const bool aReturn = operation == QLatin1String("return");
    const QString link = links.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
    FlatBoxSim sim;
    QVERIFY2(sim.start(aReturn ? QStringList() : box) && plugIn(link, sim), qPrintable(sim.errorText()));
    qputenv("VELMORA_FLAT_EXTRA_PORTS", QFile::encodeName(link));
    Program program(autoSearch);
    VelmoraFlat &window = *program.window;
    child<QComboBox>(window, "MT_serialCombo")->setCurrentText(link);
    FlatBoxSim returned;
    if (aReturn) {
        child<QCheckBox>(window, "MT_lampSwitch")->click();
        child<QSlider>(window, "MT_lampLevelSlider")->setValue(128);
        sim.stop();
        QFile::remove(link);
        QTRY_COMPARE(window.boxController().state(), BoxController::Lost);
        QVERIFY2(returned.start(box) && plugIn(link, returned), qPrintable(returned.errorText()));
    }
    VelmoraFlatTestAccess::flatTable(window).push_back(editedLine);
    const FlatBoxSim &busy = aReturn ? returned : sim;

    QElapsedTimer sinceStop;
    qint64 cpuAtStop = 0;
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (!busy.received().filter(QRegularExpression('^' + QRegularExpression::escape(stopAt))).isEmpty()) {
            stopper.stop();
            cpuAtStop = devicetest::processCpuMs();
            sinceStop.start();
            sendStop(how);
        }
    });
    stopper.start(5);
    const bool ended = runEventLoop([&] {
        if (!aReturn)
            child<QAbstractButton>(window, qPrintable(operation))->click();
    });
    const qint64 endedMs = sinceStop.elapsed();
    const qint64 cpuMs = devicetest::processCpuMs() - cpuAtStop;

    QVERIFY2(ended && sinceStop.isValid(), "the program did not end");
    qInfo("%s: ended %lld ms after the stop, %lld ms of CPU", QTest::currentDataTag(), endedMs, cpuMs);
    QVERIFY2(endedMs < 1000, qPrintable(QString::number(endedMs))); // a time the user sees: it stays a bound
    QVERIFY2(cpuMs < endedMs / 2 + 100, qPrintable(QStringLiteral("%1 ms of CPU").arg(cpuMs))); // no wait spun
    QVERIFY2(lastLampCommand(busy) != QLatin1String(">L"), qPrintable(busy.accepted().join(' ')));
    if (aReturn) // a box that comes back while the program ends stays dark
        QVERIFY2(!busy.accepted().join(' ').contains(QLatin1String(">L")), qPrintable(busy.accepted().join(' ')));
    QVERIFY(portIsFree(busy.port()));
    const QStringList kept = QDir(keptTablesFolder() + QStringLiteral("/new")).entryList(QDir::Files);
    QCOMPARE(kept.size(), 1);
    QCOMPARE(linesOf(QDir(keptTablesFolder() + QStringLiteral("/new")).filePath(kept.first())),
             std::vector<QString>{editedLine});
    std::vector<QString> unsaved;
    QVERIFY(!unsavedTable(window, unsaved)); // closing now would not ask
}

// The next start names the kept table in a message box, once; the file holds the edits.
void EndingTest::nextStartNamesTheKeptTableOnce()
{
    {
        Program program{QString()};
        VelmoraFlatTestAccess::flatTable(*program.window) = {QStringLiteral("DSLR 100 Luminance 2 120"), editedLine};
        QVERIFY(runEventLoop([] { sendStop(QStringLiteral("SIGTERM")); }));
    }
    Program next{QString()};
    QTRY_COMPARE(boxesTitled(keptTitle).size(), 1);
    const ShownDialog box = boxesTitled(keptTitle).first();
    QCOMPARE(box.parent, static_cast<QObject *>(next.window.get()));
    const QRegularExpressionMatch path =
        QRegularExpression(QStringLiteral("\n(/.*/recovery/unsaved table [-0-9 ]+\\.vfc)\n")).match(box.text);
    QVERIFY2(path.hasMatch(), qPrintable(box.text));
    QCOMPARE(linesOf(path.captured(1)), (std::vector<QString>{QStringLiteral("DSLR 100 Luminance 2 120"), editedLine}));

    next.window->close();
    Program third{QString()};
    QTest::qWait(100); // the start's message box would be shown from the first turn of the event loop
    QVERIFY(boxesTitled(keptTitle).isEmpty());
}

// A window the user closed has asked about its table and switched the box off: a quit afterwards keeps nothing.
void EndingTest::closedWindowKeepsNothing()
{
    Program program{QString()};
    DialogResponder::instance().setMessageBoxButton(QMessageBox::Discard);
    VelmoraFlatTestAccess::flatTable(*program.window).push_back(editedLine);
    QVERIFY(runEventLoop([&] { program.window->close(); })); // the last window closed quits
    DialogResponder::instance().setMessageBoxButton(QMessageBox::Ok);
    QCOMPARE(boxesTitled(QStringLiteral("Unsaved Configurations")).size(), 1);
    QVERIFY(!QDir(keptTablesFolder()).exists());
}

void EndingTest::programEndsOnRequest_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("box");
    QTest::addColumn<bool>("lit"); // an Alpaca client lit the lamp at 100 before the stop
    QTest::newRow("SIGTERM, lamp lit") << "SIGTERM" << QStringList() << true;
    QTest::newRow("SIGINT, lamp lit") << "SIGINT" << QStringList() << true;
    QTest::newRow("SIGHUP, lamp lit") << "SIGHUP" << QStringList() << true;
    QTest::newRow("SIGTERM during the start-up search") << "SIGTERM" << QStringList{"--boot-delay-ms", "300"} << false;
}

// velmora-flat itself, with its window (offscreen).
void EndingTest::programEndsOnRequest()
{
    QFETCH(QString, how);
    QFETCH(QStringList, box);
    QFETCH(bool, lit);
    FlatBoxSim sim;
    QVERIFY2(sim.start(box), qPrintable(sim.errorText()));
    PanelProcess program;
    if (lit) {
        QVERIFY2(program.start(sim.port(), {}), qPrintable(program.lines().join('\n')));
        QVERIFY(program.waitForLine(QStringLiteral("connection accomplished")));
        const QString client = QStringLiteral("ClientID=3");
        QCOMPARE(httpCall(program.httpPort, "PUT " + device("connected"), "Connected=true&" + client).errorNumber(), 0);
        QCOMPARE(httpCall(program.httpPort, "PUT " + device("calibratoron"), "Brightness=100&" + client).errorNumber(), 0);
        QTRY_COMPARE(lastLampCommand(sim), QStringLiteral(">L"));
    } else {
        program.launch(sim.port(), {});
        QTRY_VERIFY(!sim.received().isEmpty());
    }

    QElapsedTimer sinceStop;
    sinceStop.start();
    ::kill(program.process.processId(), how == QLatin1String("SIGTERM") ? SIGTERM : how == QLatin1String("SIGINT") ? SIGINT : SIGHUP);
    QVERIFY2(program.process.waitForFinished(10000), qPrintable(program.lines().join('\n')));
    const qint64 endedMs = sinceStop.elapsed();
    qInfo("%s: ended %lld ms after the signal", QTest::currentDataTag(), endedMs);
    QCOMPARE(program.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process.exitCode(), 0);
    QVERIFY2(endedMs < 1000, qPrintable(QString::number(endedMs))); // a time the user sees: it stays a bound
    QVERIFY2(program.lines().contains(QStringLiteral("stopping on ") + how), qPrintable(program.lines().join('\n')));
    QCOMPARE(sim.accepted().last(), QStringLiteral(">D000"));
    QVERIFY(portIsFree(sim.port()));
}

VELMORA_TEST_MAIN(EndingTest)
#include "tst_ending.moc"
