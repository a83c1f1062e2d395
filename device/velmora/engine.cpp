#include "engine.h"

#if defined(Q_OS_UNIX)
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#endif

namespace velmora {

Engine::Engine(Hooks hooks) : hooks(std::move(hooks))
{
#if defined(Q_OS_UNIX)
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        wakePipe[0] = wakePipe[1] = -1;
#endif
    start();
}

Engine::~Engine()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake();
    wait();
#if defined(Q_OS_UNIX)
    for (int fd : wakePipe) {
        if (fd >= 0)
            ::close(fd);
    }
#endif
}

void Engine::runJob(const std::function<void()> &job)
{
    if (isCurrentThread()) {
        job();
        return;
    }
    std::packaged_task<void()> task(job);
    std::future<void> done = task.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(std::move(task));
    }
    wake();
    done.get(); // rethrows what the job threw
}

void Engine::wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        woken = true;
    }
#if defined(Q_OS_UNIX)
    if (wakePipe[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
        return;
    }
#endif
    wakeUp.notify_one();
}

bool Engine::takeJobs(std::deque<std::packaged_task<void()>> &batch)
{
    std::lock_guard<std::mutex> lock(mutex);
    batch.swap(jobs);
    woken = false;
    return !(stopping && batch.empty());
}

void Engine::run()
{
    for (;;) {
        std::deque<std::packaged_task<void()>> batch;
        if (!takeJobs(batch))
            break;
        for (auto &job : batch)
            job();
        if (batch.empty())
            waitForWork();
        hooks.afterWork();
    }
}

// Sleeps until a job comes, the watched port hangs up or idle work is due.
void Engine::waitForWork()
{
    const long long untilIdle = hooks.msUntilIdle();
    if (untilIdle == 0) {
        hooks.idleWork();
        return;
    }
    const int timeoutMs = untilIdle < 0 ? -1 : int(untilIdle);
#if defined(Q_OS_UNIX)
    if (wakePipe[0] >= 0) {
        const int port = hooks.watchedHandle();
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
        return;
    }
#endif
    std::unique_lock<std::mutex> lock(mutex);
    const auto due = [this] { return woken || !jobs.empty() || stopping; };
    const bool timedOut = timeoutMs < 0 ? (wakeUp.wait(lock, due), false)
                                        : !wakeUp.wait_for(lock, std::chrono::milliseconds(timeoutMs), due);
    lock.unlock();
    if (timedOut && hooks.msUntilIdle() == 0)
        hooks.idleWork();
}

} // namespace velmora
