#pragma once

// Shared by the flat table benchmarks: the 100 000-line file and the figures of one step.

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace tablebench {

constexpr int lineCount = 100000;
// The one configuration of the last line; no other line contains its key, so looking it up reads the whole table.
const QString lastKey = QStringLiteral("CCD 8x8 SII");
const QString lastLine = lastKey + QStringLiteral(" 4.5 s 200");

// A table as a user's file could hold it: every combination of both cameras, with varied exposures and levels.
inline QByteArray tableFile()
{
    const QStringList isos = {"100", "200", "400", "800", "1600", "3200", "6400", "Custom"};
    const QStringList binnings = {"1x1", "2x2", "3x3", "4x4", "6x6", "8x8", "Custom"};
    const QStringList filters = {"Luminance", "Red",  "Green",           "Blue",  "H-alpha",
                                 "OIII",      "SII",  "Light Pollution", "Custom"};
    const QStringList exposures = {"2.5", "1/30 s", "0.8", "12 s", "3"};
    QStringList keys;
    for (const QString &iso : isos)
        for (const QString &filter : filters)
            keys.append("DSLR " + iso + ' ' + filter);
    for (const QString &binning : binnings)
        for (const QString &filter : filters)
            if ("CCD " + binning + ' ' + filter != lastKey)
                keys.append("CCD " + binning + ' ' + filter);

    QByteArray contents;
    contents.reserve(lineCount * 32);
    for (int i = 0; i < lineCount - 1; ++i) {
        const QString line = keys[i % keys.size()] + ' ' + exposures[i % exposures.size()] + ' ' +
                             QString::number(i % 256);
        contents += line.toUtf8() + '\n';
    }
    contents += lastLine.toUtf8() + '\n';
    return contents;
}

inline bool writeFile(const QString &path, const QByteArray &contents)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
}

// Resident memory figures of this process, in KiB, from /proc/self/status.
inline long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Sets the peak resident size back to the current one (Linux 4.0 and later), so each step's peak is its own.
inline void resetPeakMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

// CPU time of the whole process (every thread), in milliseconds: less disturbed than wall time on a busy machine.
inline double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct StepFigures
{
    double medianMs = 0;
    double maxMs = 0;
    double medianCpuMs = 0;
    long peakGrowthKiB = 0; // peak resident size during the step above the resident size before it
};

// Runs the step `runs` times (`prepare` before each, not timed) and measures time and peak memory growth.
inline StepFigures measure(int runs, const std::function<void()> &prepare, const std::function<void()> &step)
{
    std::vector<double> times;
    std::vector<double> cpuTimes;
    StepFigures figures;
    for (int i = 0; i < runs; ++i) {
        if (prepare)
            prepare();
        resetPeakMemory();
        const long before = statusKiB("VmRSS");
        const double cpuBefore = processCpuMs();
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(timer.nsecsElapsed() / 1e6);
        cpuTimes.push_back(processCpuMs() - cpuBefore);
        figures.peakGrowthKiB = std::max(figures.peakGrowthKiB, statusKiB("VmHWM") - before);
    }
    std::sort(times.begin(), times.end());
    figures.medianMs = times[times.size() / 2];
    figures.maxMs = times.back();
    std::sort(cpuTimes.begin(), cpuTimes.end());
    figures.medianCpuMs = cpuTimes[cpuTimes.size() / 2];
    return figures;
}

inline void printHeader(qint64 fileBytes)
{
    std::printf("file: %d lines, %lld bytes (%.2f MiB); targets: each step < 100 ms, memory < 8x file size\n",
                lineCount, static_cast<long long>(fileBytes), fileBytes / 1048576.0);
    std::printf("%-46s %9s %9s %9s %10s %7s\n", "step", "median ms", "max ms", "cpu ms", "peak +KiB", "x file");
}

inline void printStep(const char *name, const StepFigures &figures, qint64 fileBytes)
{
    std::printf("%-46s %9.2f %9.2f %9.2f %10ld %7.2f\n", name, figures.medianMs, figures.maxMs, figures.medianCpuMs,
                figures.peakGrowthKiB, figures.peakGrowthKiB * 1024.0 / fileBytes);
    std::fflush(stdout);
}

} // namespace tablebench
