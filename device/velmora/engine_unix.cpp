// The engine's wait on systems with pipes and poll: a job's wake-up and the port's hang-up end it.
#include "engine.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace velmora {

void Engine::openWake()
{
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        wakePipe[0] = wakePipe[1] = -1;
}

void Engine::closeWake()
{
    for (int fd : wakePipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void Engine::wake()
{
    markWoken();
    if (wakePipe[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
        return;
    }
    wakeUp.notify_one();
}

void Engine::waitAtMost(long long untilIdleMs)
{
    const int timeoutMs = untilIdleMs < 0 ? -1 : int(untilIdleMs);
    if (wakePipe[0] < 0) {
        waitOnCondition(timeoutMs);
        return;
    }
    const int port = int(hooks.watchedHandle());
    // Asking for no event still reports a hang-up; the bytes a box sends unasked do not wake us.
    pollfd fds[2] = {{wakePipe[0], POLLIN, 0}, {port, 0, 0}};
    const int ready = ::poll(fds, port >= 0 ? 2 : 1, timeoutMs);
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        char drained[64];
        while (::read(wakePipe[0], drained, sizeof drained) > 0) {
        }
    }
    if (port >= 0 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)))
        hooks.hungUp();
    else if (ready == 0 && hooks.msUntilIdle() == 0)
        hooks.idleWork();
}

} // namespace velmora
