// The device library against the box simulator: the round trip of one exchange over the pty,
// and the library's share of a slider sweep on a 9600-baud line. Prints figures only.
#include "flatboxsim.h"
#include "serialbench.h"
#include "velmora/flat.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool roundTrip = exchangeRoundTrip();
    const bool sweep = librarySweep();
    return roundTrip && sweep ? 0 : 1;
}
