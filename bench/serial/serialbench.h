// Shared by the serial benchmarks: the figures of one slider sweep at the box's line rate.
#pragma once

#include <QStringList>

#include <cstdio>

namespace serialbench {

const int lineRate = 9600;
const int sweepSteps = 255;
// One exchange is a 6-byte command and an 8-byte reply, 10 bits per byte on the line.
const double lineLimitSeconds = sweepSteps * 14 * 10 / double(lineRate);

inline int brightnessCommands(const QStringList &commands)
{
    int count = 0;
    for (const QString &command : commands)
        count += command.startsWith(QLatin1String(">B")) ? 1 : 0;
    return count;
}

inline void printSweep(const char *title, double seconds, int wireCommands)
{
    std::printf("%s\n", title);
    std::printf("  total %.3f s for %d steps, %d wire commands (%.2f per step)\n", seconds, sweepSteps,
                wireCommands, double(wireCommands) / sweepSteps);
    std::printf("  line limit %.3f s (%d exchanges x 14 bytes x 10 bits / %d baud), ratio %.3f\n",
                lineLimitSeconds, sweepSteps, lineRate, seconds / lineLimitSeconds);
}

} // namespace serialbench
