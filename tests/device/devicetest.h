// Shared by the device library tests: steps written as text, and the cost of a call.
#pragma once

#include "velmora/flat.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <sys/resource.h>

namespace devicetest {

// What connect sends to a running box of the classic dialect: a round of two queries (answered both,
// so the box reads "\r"), a query that clears a line end the box may still hold, and the version.
inline QStringList handshake()
{
    return {QStringLiteral(">S000"), QStringLiteral(">P000"), QStringLiteral(">J000"), QStringLiteral(">V000")};
}

// A simulator count option that lets through the handshake and `commands` more.
inline QString afterHandshake(int commands = 0)
{
    return QString::number(handshake().size() + commands);
}

// CPU time of this process (user + system), in milliseconds.
inline qint64 processCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

// The largest resident memory this process has had, in kilobytes.
inline long peakMemoryKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

struct Cost
{
    qint64 wallMs = 0;
    qint64 cpuMs = 0;
};

template<class Call>
Cost measure(Call call)
{
    Cost cost;
    const qint64 cpuBefore = processCpuMs();
    QElapsedTimer clock;
    clock.start();
    call();
    cost.wallMs = clock.elapsed();
    cost.cpuMs = processCpuMs() - cpuBefore;
    return cost;
}

// A call that waits on the port must sleep while it waits: it may use a small share of the
// time it takes, never the whole of it as a polling loop would.
inline bool waitedIdly(const Cost &cost)
{
    return cost.cpuMs <= 60 + cost.wallMs / 5;
}

inline QString describe(const Cost &cost)
{
    return QStringLiteral("%1 ms taken, %2 ms of CPU").arg(cost.wallMs).arg(cost.cpuMs);
}

// Runs one step written as text: "on", "off", "status", "state" (readState), "B<level>" or "reconnect".
inline unsigned runStep(velmora::Flat &flat, const QString &step, const QByteArray &port)
{
    if (step == QLatin1String("on"))
        return flat.turnOn();
    if (step == QLatin1String("off"))
        return flat.turnOff();
    if (step == QLatin1String("status")) {
        bool connected = false;
        return flat.isFlatConnected(connected);
    }
    if (step == QLatin1String("state")) {
        velmora::BoxState state;
        return flat.readState(state);
    }
    if (step == QLatin1String("reconnect"))
        return flat.connect(port.constData(), false);
    if (step.startsWith(QLatin1Char('B'))) {
        const unsigned level = step.mid(1).toUInt();
        return flat.setBrightness(level);
    }
    qFatal("unknown step %s", qPrintable(step));
    return ~0u;
}

inline bool isConnected(velmora::Flat &flat)
{
    bool connected = false;
    flat.isFlatConnected(connected);
    return connected;
}

} // namespace devicetest
