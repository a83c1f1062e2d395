// velmora-flatbox-sim: a VELMORA flat box on a pseudo-terminal, for tests, benchmarks and demos.
#include "options.h"
#include "simulator.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int stopPipe[2] = {-1, -1};

void requestStop(int)
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = write(stopPipe[1], &byte, 1);
}

bool installStopHandlers()
{
    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    struct sigaction action{};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    std::signal(SIGPIPE, SIG_IGN);
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

// Standard input ends the simulator when it closes, if it is a pipe or socket from the starting
// program. A terminal is not watched: started with "&" from a shell, reading it would stop the
// simulator (SIGTTIN); Ctrl-C ends it in the foreground. /dev/null never closes.
int watchedInput()
{
    struct stat info{};
    if (fstat(STDIN_FILENO, &info) != 0)
        return -1;
    return S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode) ? STDIN_FILENO : -1;
}

} // namespace

int main(int argc, char **argv)
{
    SimOptions options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "velmora-flatbox-sim: %s\n%s", error.c_str(), usageText());
        return 2;
    }
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (!installStopHandlers()) {
        std::perror("velmora-flatbox-sim: signals");
        return 1;
    }
    Simulator simulator(options, stopPipe[0], watchedInput());
    if (!simulator.openLog(error) || !simulator.openLine(error)) {
        std::fprintf(stderr, "velmora-flatbox-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", simulator.devicePath().c_str());
    std::fflush(stdout);
    simulator.run();
    return 0;
}
