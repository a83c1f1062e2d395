// velmora-flat-assistant as scripts call it: its options, standard output, standard error and exit status, against
// Debian's indiserver with the project's INDI driver on the box simulator, indi_simulator_wheel and the model camera.
#include "assistantrig.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

struct Outcome
{
    int exitCode = -1;
    QStringList out;
    QStringList err;
};

QStringList linesOf(const QByteArray &text)
{
    QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // libindiclient's own note on each connection is not the program's output.
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString &line) { return line.startsWith(QLatin1String("INDI::BaseClient")); }),
                lines.end());
    return lines;
}

Outcome runProgram(const QStringList &arguments, int timeoutMs = 30000)
{
    QProcess program;
    program.start(QStringLiteral(VELMORA_ASSISTANT_PROGRAM), arguments);
    Outcome outcome;
    if (!program.waitForStarted(5000))
        return outcome;
    if (!QTest::qWaitFor([&program] { return program.state() == QProcess::NotRunning; }, timeoutMs)) {
        program.kill();
        program.waitForFinished(2000);
        return outcome;
    }
    outcome.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    outcome.out = linesOf(program.readAllStandardOutput());
    outcome.err = linesOf(program.readAllStandardError());
    return outcome;
}

// The window started with the same arguments (--gui first): true once it names `line` on standard error while it
// keeps running, as it does for a wrong option; `windowBuilt` false when the program has no window to open.
bool windowNames(const QStringList &arguments, const QString &line, bool &windowBuilt)
{
    QProcess program;
    program.start(QStringLiteral(VELMORA_ASSISTANT_PROGRAM), QStringList{QStringLiteral("--gui")} + arguments);
    if (!program.waitForStarted(5000))
        return false;
    QByteArray err;
    const bool answered = QTest::qWaitFor([&] {
        err += program.readAllStandardError();
        return linesOf(err).contains(line) || program.state() == QProcess::NotRunning;
    }, 10000);
    windowBuilt = !err.contains("this build has no window");
    const bool named = answered && linesOf(err).contains(line) && program.state() == QProcess::Running;
    program.kill();
    program.waitForFinished(5000);
    return named;
}

QStringList fileLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The options of a run on the rig, with the user's exposures scaled down as the model camera's.
QStringList rigArguments(const AssistantRig &rig, const QString &filters, const QString &table)
{
    return {"--indi",         "127.0.0.1:" + QString::number(rig.indi.port()),
            "--camera",       AssistantRig::camera,
            "--light",        AssistantRig::light,
            "--wheel",        AssistantRig::wheel,
            "--filters",      filters,
            "--exposure",     QString::number(rig.scaled(2)),
            "--min-exposure", QString::number(rig.scaled(0.5)),
            "--max-exposure", QString::number(rig.scaled(60)),
            "--table",        table};
}

const QRegularExpression resultLine(
    QStringLiteral("^([^:]+): level (\\d+), exposure ([0-9.]+) s, median (0\\.\\d{3}) of full scale, (\\d+) frames?$"));

} // namespace

class AssistantCliTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void usageErrors_data();
    void usageErrors();
    void wholeRun_data();
    void wholeRun();
    void interruptKeepsWhatWasFound_data();
    void interruptKeepsWhatWasFound();

private:
    std::unique_ptr<QTemporaryDir> files;
    QString table;
};

void AssistantCliTest::init()
{
    files = std::make_unique<QTemporaryDir>();
    qputenv("XDG_DATA_HOME", QFile::encodeName(files->filePath(QStringLiteral("data"))));
    table = files->filePath(QStringLiteral("flats.vfc"));
}

void AssistantCliTest::usageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("inWindow"); // the window, started with the same arguments, names the same error
    const QStringList indi{"--camera", "Model Camera", "--light", "VELMORA Flat Box", "--table", "x.vfc"};
    QTest::newRow("nothing") << QStringList() << "give either --camera or --watch" << false;
    QTest::newRow("camera and folder") << QStringList{"--camera", "C", "--watch", "/tmp", "--light", "L"}
                                       << "give either --camera or --watch" << false;
    QTest::newRow("no light box") << QStringList{"--camera", "C", "--table", "x.vfc"}
                                  << "give --light (or, with --watch, --alpaca)" << false;
    QTest::newRow("Alpaca with a camera") << QStringList{"--camera", "C", "--alpaca", "127.0.0.1:11111"}
                                          << "--alpaca goes with --watch" << true;
    QTest::newRow("folder without filters") << QStringList{"--watch", "/tmp", "--light", "L", "--table", "x.vfc"}
                                            << "--watch needs --filters" << false;
    QTest::newRow("no table") << QStringList{"--camera", "C", "--light", "L"} << "give --table FILE.vfc" << false;
    QTest::newRow("exposure not a number") << indi + QStringList{"--exposure", "two"}
                                           << "--exposure needs a positive number, not \"two\"" << true;
    QTest::newRow("negative tolerance") << indi + QStringList{"--tolerance", "-0.1"}
                                        << "--tolerance needs a positive number, not \"-0.1\"" << true;
    QTest::newRow("limits crossed") << indi + QStringList{"--min-exposure", "5", "--max-exposure", "1"}
                                    << "--min-exposure is longer than --max-exposure" << true;
    QTest::newRow("camera type") << indi + QStringList{"--camera-type", "CMOS"}
                                 << "--camera-type is DSLR or CCD, not \"CMOS\"" << true;
    QTest::newRow("server without port") << indi + QStringList{"--indi", "localhost"}
                                         << "--indi needs HOST:PORT, not \"localhost\"" << true;
    QTest::newRow("unknown option") << indi + QStringList{"--bogus"} << "Unknown option 'bogus'." << true;
    QTest::newRow("no server") << indi + QStringList{"--indi", "127.0.0.1:1"} << "no INDI server on 127.0.0.1:1"
                               << false;
    QTest::newRow("no frames to capture") << indi + QStringList{"--capture", "0", "--out", "/tmp"}
                                          << "--capture needs a whole number of frames, not \"0\"" << false;
    QTest::newRow("capture not a number") << indi + QStringList{"--capture", "five", "--out", "/tmp"}
                                          << "--capture needs a whole number of frames, not \"five\"" << true;
    QTest::newRow("capture without a folder") << indi + QStringList{"--capture", "5"} << "--capture needs --out DIR"
                                              << false;
    QTest::newRow("a folder without capture") << indi + QStringList{"--out", "/tmp"} << "--out goes with --capture"
                                              << false;
    QTest::newRow("a folder in folder mode")
        << QStringList{"--watch", "/tmp", "--light", "L", "--filters", "Red", "--table", "x.vfc", "--capture", "5", "--out",
                       "/tmp"}
        << "--out goes with --camera: with --watch the capture program saves the frames" << false;
    QTest::newRow("a flat set folder that cannot be made")
        << indi + QStringList{"--indi", "127.0.0.1:1", "--capture", "2", "--out", "/proc/flats"}
        << "the flat set's folder \"/proc/flats\" cannot be made" << false;
    QTest::newRow("no Alpaca device")
        << QStringList{"--watch", QDir::tempPath(), "--alpaca", "127.0.0.1:1", "--filters", "Red", "--table", "x.vfc"}
        << "no Alpaca device on 127.0.0.1:1 (Connection refused)" << false;
}

// Status 2, nothing on standard output, the error named on standard error.
void AssistantCliTest::usageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QFETCH(bool, inWindow);
    const Outcome outcome = runProgram(arguments);
    QCOMPARE(outcome.exitCode, 2);
    QCOMPARE(outcome.out, QStringList());
    QCOMPARE(outcome.err.value(outcome.err.size() - 1), "velmora-flat-assistant: " + error);
    if (!inWindow)
        return;
    // The window reads the arguments by the same rules: it starts all the same, and names the error.
    bool windowBuilt = true;
    const bool named = windowNames(arguments, "velmora-flat-assistant: " + error, windowBuilt);
    if (!windowBuilt)
        QSKIP("this build has no window");
    QVERIFY(named);
}

void AssistantCliTest::wholeRun_data()
{
    QTest::addColumn<QString>("filters"); // empty: every filter of the wheel
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QStringList>("done");
    QTest::addColumn<QStringList>("notReached");
    QTest::addColumn<QString>("tableKey"); // camera type and ISO/binning of the lines written
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("flatSet"); // with --capture: the flat set's folders and their files' count
    QTest::newRow("several filters") << "Red,Green,Luminance" << QStringList() << QStringList{"Red", "Green", "Luminance"}
                                     << QStringList() << "CCD 1x1" << 0 << QStringList();
    QTest::newRow("every filter of the wheel, DSLR at ISO 800")
        << "" << QStringList{"--camera-type", "DSLR", "--iso-bin", "800", "--max-exposure", "0.25"}
        << QStringList{"Red", "Green", "Blue", "LPR", "Luminance"} << QStringList{"H_Alpha", "SII", "OIII"} << "DSLR 800" << 1
        << QStringList();
    QTest::newRow("the whole flat set") << "Red,Luminance" << QStringList{"--capture", "2", "--out", "OUT"}
                                        << QStringList{"Red", "Luminance"} << QStringList() << "CCD 1x1" << 0
                                        << QStringList{"Luminance 2", "Red 2", "darks 2"};
}

// One line per filter on standard output, the progress on standard error, the table and the exit status.
void AssistantCliTest::wholeRun()
{
    QFETCH(QString, filters);
    QFETCH(QStringList, extra);
    QFETCH(QStringList, done);
    QFETCH(QStringList, notReached);
    QFETCH(QString, tableKey);
    QFETCH(int, exitCode);
    QFETCH(QStringList, flatSet);
    AssistantRig rig;
    QVERIFY2(rig.start(), qPrintable(rig.errorText()));
    QStringList arguments = rigArguments(rig, filters, table);
    if (filters.isEmpty())
        arguments.removeAt(arguments.indexOf("--filters") + 1), arguments.removeAll("--filters");
    const QString out = files->filePath(QStringLiteral("flats"));
    extra.replaceInStrings(QRegularExpression(QStringLiteral("^OUT$")), out);
    const Outcome outcome = runProgram(arguments + extra, 60000);
    QVERIFY2(outcome.exitCode == exitCode, qPrintable((outcome.out + outcome.err).join('\n')));
    QCOMPARE(outcome.out.size(), done.size() + notReached.size());
    QStringList written;
    for (const QString &line : outcome.out) {
        const QRegularExpressionMatch match = resultLine.match(line);
        if (!match.hasMatch()) {
            const QString filter = line.section(QLatin1Char(':'), 0, 0);
            QVERIFY2(notReached.contains(filter), qPrintable(line));
            QVERIFY2(QRegularExpression("^" + filter + ": not reached: 0\\.\\d\\d of full scale at level \\d+ and [0-9.]+ s$")
                         .match(line).hasMatch(), qPrintable(line));
            continue;
        }
        QVERIFY2(done.contains(match.captured(1)), qPrintable(line));
        QVERIFY2(qAbs(match.captured(4).toDouble() - 0.5) <= 0.025, qPrintable(line));
        QVERIFY2(line.endsWith(match.captured(5) == QLatin1String("1") ? " 1 frame" : " frames"), qPrintable(line));
        const QString tableFilter = match.captured(1) == QLatin1String("LPR") ? QStringLiteral("Light Pollution")
                                                                                  : match.captured(1);
        written.append(QStringLiteral("%1 %2 %3 %4").arg(tableKey, tableFilter, match.captured(3), match.captured(2)));
    }
    QCOMPARE(fileLines(table), written);
    QVERIFY(outcome.err.filter(QRegularExpression("^Red: frame 1 at level \\d+, exposure [0-9.]+ s: median 0\\.\\d{3} of full scale")).size() == 1);
    QStringList folders;
    for (const QString &folder : QDir(out).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        folders.append(folder + ' ' + QString::number(QDir(out + '/' + folder).entryList(QDir::Files).size()));
    folders.sort();
    QCOMPARE(folders, flatSet);
    QCOMPARE(outcome.err.filter(QRegularExpression(" saved to .+\\.fits$")).size(), flatSet.isEmpty() ? 0 : 6);
}

void AssistantCliTest::interruptKeepsWhatWasFound_data()
{
    QTest::addColumn<int>("signal");      // 0: the event instead
    QTest::addColumn<QString>("event");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");   // the last line on standard error after the program's name; PORT: the server's
    QTest::addColumn<int>("withinMs");
    QTest::newRow("Ctrl-C") << int(SIGINT) << "" << 1 << "" << 2500;
    QTest::newRow("SIGTERM") << int(SIGTERM) << "" << 1 << "" << 2500;
    QTest::newRow("the INDI server ends") << 0 << "stop server" << 2 << "INDI server on 127.0.0.1:PORT went away" << 1000;
    QTest::newRow("the light box's driver ends") << 0 << "stop light box driver" << 2
                                                 << "light box \"VELMORA Flat Box\" went away" << 1000;
}

// Interrupted during the second filter: it ends at once, the lamp off where it can still be reached, the first
// filter's line kept.
void AssistantCliTest::interruptKeepsWhatWasFound()
{
    QFETCH(int, signal);
    QFETCH(QString, event);
    QFETCH(int, exitCode);
    QFETCH(QString, error);
    QFETCH(int, withinMs);
    AssistantRig rig;
    QVERIFY2(rig.start(), qPrintable(rig.errorText()));
    QProcess program;
    program.start(QStringLiteral(VELMORA_ASSISTANT_PROGRAM),
                  rigArguments(rig, "Red,Luminance", table));
    QVERIFY(program.waitForStarted(5000));
    QByteArray out;
    QVERIFY(QTest::qWaitFor([&] {
        out += program.readAllStandardOutput();
        return out.contains("Red: level");
    }, 30000));
    const int port = rig.indi.port();
    QElapsedTimer clock;
    clock.start();
    if (event == QLatin1String("stop server"))
        rig.indi.stop();
    if (signal)
        ::kill(pid_t(program.processId()), signal);
    if (event == QLatin1String("stop light box driver"))
        QVERIFY(rig.indi.stopDriver(VELMORA_INDI_DRIVER));
    QVERIFY(QTest::qWaitFor([&program] { return program.state() == QProcess::NotRunning; }, 5000));
    qInfo("ended %lld ms after the %s", clock.elapsed(), signal ? "signal" : "fault");
    QVERIFY(clock.elapsed() < withinMs);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    if (!error.isEmpty())
        QCOMPARE(linesOf(program.readAllStandardError()).last(),
                 "velmora-flat-assistant: " + QString(error).replace("PORT", QString::number(port)));
    const QStringList lines = fileLines(table);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].startsWith(QLatin1String("CCD 1x1 Red 0.05 ")), qPrintable(lines[0]));
    if (signal)
        QVERIFY(rig.indi.waitFor({AssistantRig::light + ".FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1"}, 3));
}

QTEST_GUILESS_MAIN(AssistantCliTest)
#include "tst_assistantcli.moc"
