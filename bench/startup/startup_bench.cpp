// Start-up benchmark: runs the program's launcher and the baseline window alternately, each quitting right after
// its first show, and prints the medians of the time to the first show and of the peak resident memory, and their
// ratios. Usage: velmora-bench-startup <launcher> <baseline> [runs]. The platform comes from QT_QPA_PLATFORM.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Sample
{
    double shownMs = -1;
    double peakMiB = -1;
};

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

Sample runOnce(const char *program)
{
    int out[2];
    if (pipe(out) != 0)
        return {};
    const std::string spawn = std::to_string(monotonicNs());
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        setenv("VELMORA_BENCH_SPAWN_NS", spawn.c_str(), 1);
        execl(program, program, static_cast<char *>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buffer[256];
    ssize_t n;
    while ((n = read(out[0], buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    close(out[0]);

    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    Sample sample;
    const auto at = text.find("shown_us ");
    if (at != std::string::npos && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        sample.shownMs = std::atof(text.c_str() + at + 9) / 1000.0;
    sample.peakMiB = usage.ru_maxrss / 1024.0; // kilobytes on Linux
    return sample;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : (n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <launcher> <baseline> [runs]\n", argv[0]);
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 15;
    const char *platform = std::getenv("QT_QPA_PLATFORM");

    // One warm-up run each so that both start from a warm file cache.
    runOnce(argv[1]);
    runOnce(argv[2]);

    std::vector<double> programMs, programMiB, baselineMs, baselineMiB;
    for (int i = 0; i < runs; ++i) {
        for (int which = 0; which < 2; ++which) {
            const bool programFirst = i % 2 == 0;
            const bool program = (which == 0) == programFirst;
            const Sample s = runOnce(program ? argv[1] : argv[2]);
            if (s.shownMs < 0) {
                std::fprintf(stderr, "run failed: %s\n", program ? argv[1] : argv[2]);
                return 1;
            }
            (program ? programMs : baselineMs).push_back(s.shownMs);
            (program ? programMiB : baselineMiB).push_back(s.peakMiB);
        }
    }

    const double pMs = median(programMs), bMs = median(baselineMs);
    const double pMiB = median(programMiB), bMiB = median(baselineMiB);
    std::printf("start-up to first show, platform %s, %d runs each, medians\n", platform ? platform : "(default)",
                runs);
    std::printf("  program  : %8.1f ms  %7.1f MiB peak RSS\n", pMs, pMiB);
    std::printf("  baseline : %8.1f ms  %7.1f MiB peak RSS\n", bMs, bMiB);
    std::printf("  ratio    : %8.2f x   %7.2f x   (targets: 1.25 time, 1.15 memory)\n", pMs / bMs, pMiB / bMiB);
    return 0;
}
