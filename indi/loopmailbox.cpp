#include "loopmailbox.h"

#include <indidevapi.h>

#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

LoopMailbox::LoopMailbox()
{
    eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (eventFd >= 0)
        callbackId = IEAddCallback(eventFd, &LoopMailbox::wake, this);
}

LoopMailbox::~LoopMailbox()
{
    if (callbackId >= 0)
        IERmCallback(callbackId);
    if (eventFd >= 0)
        close(eventFd);
}

void LoopMailbox::post(std::function<void()> job)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        jobs.push_back(std::move(job));
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(eventFd, &one, sizeof one);
}

void LoopMailbox::wake(int fd, void *self)
{
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(fd, &count, sizeof count);
    static_cast<LoopMailbox *>(self)->runWaiting();
}

void LoopMailbox::runWaiting()
{
    std::deque<std::function<void()>> now;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        now.swap(jobs);
    }
    for (auto &job : now)
        job();
}
