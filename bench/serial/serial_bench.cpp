// The device library against the box simulator: the round trip of one exchange over the pty,
// and the library's share of a slider sweep on a 9600-baud line. Prints figures only.
#include "flatboxsim.h"
#include "serialbench.h"
#include "velmora/flat.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace {

const int warmUpExchanges = 50;
const int measuredExchanges = 2000;

double percentile(std::vector<qint64> sorted, double fraction)
{
    const std::size_t index = std::min(sorted.size() - 1, std::size_t(fraction * double(sorted.size())));
    return double(sorted[index]) / 1e6;
}

bool connectTo(velmora::Flat &flat, const FlatBoxSim &box)
{
    if (flat.connect(box.portName().constData(), false) == velmora::Ok)
        return true;
    std::fprintf(stderr, "cannot connect to the simulator at %s\n", qPrintable(box.port()));
    return false;
}

// Alternating levels, so that none is skipped as a repeat.
bool exchangeRoundTrip()
{
    FlatBoxSim box;
    velmora::Flat flat;
    if (!box.start() || !connectTo(flat, box))
        return false;
    for (int i = 0; i < warmUpExchanges; ++i)
        flat.setBrightness(unsigned(i % 2));
    std::vector<qint64> nanoseconds;
    nanoseconds.reserve(measuredExchanges);
    int failures = 0;
    QElapsedTimer clock;
    for (int i = 0; i < measuredExchanges; ++i) {
        const unsigned level = 100 + unsigned(i % 2);
        clock.start();
        failures += flat.setBrightness(level) == velmora::Ok ? 0 : 1;
        nanoseconds.push_back(clock.nsecsElapsed());
    }
    std::sort(nanoseconds.begin(), nanoseconds.end());
    std::printf("exchange round trip over the pty (%d setBrightness calls, alternating levels, no line delay)\n",
                measuredExchanges);
    std::printf("  median %.3f ms, p99 %.3f ms, max %.3f ms, failures %d\n", percentile(nanoseconds, 0.5),
                percentile(nanoseconds, 0.99), double(nanoseconds.back()) / 1e6, failures);
    return failures == 0;
}

// Every level from 1 to 255 set twice in a row, as the window's two linked sliders do.
bool librarySweep()
{
    FlatBoxSim box;
    velmora::Flat flat;
    if (!box.start({"--line-rate", QString::number(serialbench::lineRate)}) || !connectTo(flat, box))
        return false;
    flat.setBrightness(0);
    const int commandsBefore = serialbench::brightnessCommands(box.accepted());
    int failures = 0;
    QElapsedTimer clock;
    clock.start();
    for (unsigned level = 1; level <= unsigned(serialbench::sweepSteps); ++level) {
        failures += flat.setBrightness(level) == velmora::Ok ? 0 : 1;
        failures += flat.setBrightness(level) == velmora::Ok ? 0 : 1;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const int wireCommands = serialbench::brightnessCommands(box.accepted()) - commandsBefore;
    serialbench::printSweep("library slider sweep at 9600 baud (levels 1..255, each set twice as the window does)",
                            seconds, wireCommands);
    std::printf("  failures %d\n", failures);
    return failures == 0;
}

QString &connectionLine()
{
    static QString line;
    return line;
}

void keepConnectionLine(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message.startsWith(QLatin1String("flat box: ")))
        connectionLine() = message;
}

// Per dialect: connect to a box that boots for 2 s, then setBrightness on a 9600-baud line.
bool dialectTable()
{
    const int calls = 200;
    // A brightness exchange: ">Bnnn" and its terminator, then the reply and its end, 10 bits a byte.
    const auto lineMs = [](bool crlfReply) { return (6 + 8 + (crlfReply ? 1 : 0)) * 10 * 1000.0 / serialbench::lineRate; };
    std::printf("\nper dialect: connect to a box whose first answer can come 2 s after the port opens, then %d\n"
                "setBrightness calls at %d baud (targets: connect <= first answer + 350 ms; worst call <= 1.5 x line time)\n",
                calls, serialbench::lineRate);
    std::printf("%-34s %8s %9s %7s %7s %7s %7s %6s  %s\n", "dialect", "connect", "after 1st", "median", "p99", "worst",
                "line", "worst/", "debug line");
    std::printf("%-34s %8s %9s %7s %7s %7s %7s %6s\n", "", "ms", "answer ms", "ms", "ms", "ms", "ms", "line");
    bool allMet = true;
    const QtMessageHandler previous = qInstallMessageHandler(keepConnectionLine);
    for (const serialbench::Dialect &dialect : serialbench::dialects()) {
        FlatBoxSim box;
        velmora::Flat flat;
        connectionLine().clear();
        if (!box.start(dialect.options + QStringList{"--line-rate", QString::number(serialbench::lineRate)}))
            return false;
        QElapsedTimer clock;
        clock.start();
        const bool connected = flat.connect(box.portName().constData(), false) == velmora::Ok;
        const double connectMs = double(clock.nsecsElapsed()) / 1e6;
        std::vector<qint64> nanoseconds;
        int failures = connected ? 0 : 1;
        for (int i = 0; connected && i < calls; ++i) {
            clock.start();
            failures += flat.setBrightness(100 + unsigned(i % 2)) == velmora::Ok ? 0 : 1;
            nanoseconds.push_back(clock.nsecsElapsed());
        }
        std::sort(nanoseconds.begin(), nanoseconds.end());
        const double median = nanoseconds.empty() ? 0 : percentile(nanoseconds, 0.5);
        const double p99 = nanoseconds.empty() ? 0 : percentile(nanoseconds, 0.99);
        const double worst = nanoseconds.empty() ? 0 : double(nanoseconds.back()) / 1e6;
        const double line = lineMs(dialect.options.contains(QStringLiteral("crlf")));
        const double afterFirst = connectMs - dialect.firstAnswerMs;
        allMet = allMet && failures == 0 && afterFirst <= 350 && worst <= 1.5 * line;
        std::printf("%-34s %8.1f %9.1f %7.2f %7.2f %7.2f %7.2f %6.2f  %s%s\n", dialect.name, connectMs, afterFirst,
                    median, p99, worst, line, worst / line, qPrintable(connectionLine()),
                    failures ? qPrintable(QStringLiteral(" (%1 failures)").arg(failures)) : "");
    }
    qInstallMessageHandler(previous);
    std::printf("  targets %s\n", allMet ? "met" : "NOT met");
    return true;
}

// CPU time of this process (every thread, the library's included), in milliseconds.
double processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

// The program's thread sleeps, as a driver between its own requests does; the library watches the box.
double cpuShareWhileSleeping(int seconds)
{
    const double before = processCpuMs();
    QElapsedTimer clock;
    clock.start();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    return (processCpuMs() - before) / double(clock.elapsed()) * 100.0;
}

// The library's CPU while a connected box idles (idle status queries, node looks) and while a lost box
// is awaited (the program has heard of the loss and waits for its return).
bool idleCpu()
{
    const int seconds = 10;
    std::printf("\nCPU of the library, program thread asleep, %d s each (goal < 0.1%% of one core)\n", seconds);
    FlatBoxSim connected;
    velmora::Flat flat;
    if (!connected.start() || !connectTo(flat, connected))
        return false;
    const int commandsBefore = connected.accepted().size();
    const double idleShare = cpuShareWhileSleeping(seconds);
    const int idleQueries = connected.accepted().size() - commandsBefore;
    std::printf("  connected box idling:  %.4f %% of one core (%d status queries)\n", idleShare, idleQueries);

    FlatBoxSim pulled;
    std::atomic<bool> lost{false};
    flat.setLostHandler([&lost](const std::string &) { lost = true; });
    if (!pulled.start({"--unplug-after", "4"}) || !connectTo(flat, pulled))
        return false;
    for (int waited = 0; !lost && waited < 200; ++waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double lostShare = cpuShareWhileSleeping(seconds);
    std::printf("  lost box awaited:      %.4f %% of one core (lost handler called: %s)\n", lostShare,
                lost ? "yes" : "no");
    std::printf("  goal %s\n", idleShare < 0.1 && lostShare < 0.1 && lost ? "met" : "NOT met");
    return lost;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool roundTrip = exchangeRoundTrip();
    const bool sweep = librarySweep();
    const bool table = dialectTable();
    const bool cpu = idleCpu();
    return roundTrip && sweep && table && cpu ? 0 : 1;
}
