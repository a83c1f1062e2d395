#include "engine.h"

namespace velmora {

Engine::Engine(Hooks hooks) : hooks(std::move(hooks))
{
    openWake();
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
    closeWake();
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

void Engine::markWoken()
{
    std::lock_guard<std::mutex> lock(mutex);
    woken = true;
}

// Sleeps until a job comes, the watched port hangs up or idle work is due.
void Engine::waitForWork()
{
    const long long untilIdle = hooks.msUntilIdle();
    if (untilIdle == 0) {
        hooks.idleWork();
        return;
    }
    waitAtMost(untilIdle);
}

// Sleeps on the condition until a job comes, the engine stops or idle work is due (timeoutMs, -1 for never).
void Engine::waitOnCondition(long long timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex);
    const auto due = [this] { return woken || !jobs.empty() || stopping; };
    const bool timedOut = timeoutMs < 0 ? (wakeUp.wait(lock, due), false)
                                        : !wakeUp.wait_for(lock, std::chrono::milliseconds(timeoutMs), due);
    lock.unlock();
    if (timedOut && hooks.msUntilIdle() == 0)
        hooks.idleWork();
}

} // namespace velmora
