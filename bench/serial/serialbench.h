// Shared by the serial benchmarks: the figures of one slider sweep at the box's line rate.
#pragma once

#include <QList>
#include <QStringList>

#include <cstdio>

namespace serialbench {

const int lineRate = 9600;
const int sweepSteps = 255;
// One exchange is a 6-byte command and an 8-byte reply, 10 bits per byte on the line.
const double lineLimitSeconds = sweepSteps * 14 * 10 / double(lineRate);

struct Dialect
{
    const char *name;
    QStringList options;
    int firstAnswerMs; // after the port opens
};

// The firmware dialects of the command set, each on a box whose first answer can come 2 s after its port opens.
inline const QList<Dialect> &dialects()
{
    static const QList<Dialect> list{
        {"classic (CR or LF, 000)", {"--boot-delay-ms", "2000"}, 2000},
        {"LF, 000, draining", {"--terminator", "lf", "--filler", "digit", "--drain", "--boot-delay-ms", "2000"}, 2000},
        {"LF, OOO, CR LF replies",
         {"--terminator", "lf", "--filler", "letter", "--reply-end", "crlf", "--boot-delay-ms", "2000"}, 2000},
        {"CR, OOO, draining, CR LF replies",
         {"--terminator", "cr", "--filler", "letter", "--drain", "--reply-end", "crlf", "--product-id", "99",
          "--boot-delay-ms", "2000"}, 2000},
        {"CR, 000", {"--terminator", "cr", "--filler", "digit", "--product-id", "10", "--boot-delay-ms", "2000"},
         2000},
        {"CR, either, draining",
         {"--terminator", "cr", "--filler", "any", "--drain", "--product-id", "98", "--boot-delay-ms", "2000"}, 2000},
        {"LF, 000, draining, start-up wait",
         {"--terminator", "lf", "--filler", "digit", "--drain", "--boot-delay-ms", "500", "--startup-wait-ms", "1500"},
         2000},
        {"LF, OOO, start-up wait (burst)",
         {"--terminator", "lf", "--filler", "letter", "--boot-delay-ms", "500", "--startup-wait-ms", "1500"}, 2000},
        {"classic, native USB, start-up wait",
         {"--native-usb", "--boot-delay-ms", "500", "--startup-wait-ms", "1500"}, 2000},
    };
    return list;
}

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
