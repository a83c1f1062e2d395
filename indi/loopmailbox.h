// Hands work from other threads (the device library's, the Alpaca client's) to the INDI event loop's thread,
// the only thread that may call INDI functions.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

class LoopMailbox
{
public:
    // On the INDI loop's thread: watches an eventfd with IEAddCallback.
    LoopMailbox();
    ~LoopMailbox();
    LoopMailbox(const LoopMailbox &) = delete;
    LoopMailbox &operator=(const LoopMailbox &) = delete;

    // Any thread: `job` runs on the INDI loop's thread, after the jobs posted before it.
    void post(std::function<void()> job);
    // INDI loop's thread: runs every job waiting now (also used to drain before a blocking step ends).
    void runWaiting();

private:
    static void wake(int fd, void *self);

    int eventFd = -1;
    int callbackId = -1;
    std::mutex mutex;
    std::deque<std::function<void()>> jobs;
};
