// The library's own thread. Every call's work runs on it, one job at a time, while the calling thread
// waits; between calls it watches the connected port for a hang-up and wakes for the idle checks. It
// needs no Qt event loop, neither its own nor the program's, and no QCoreApplication.
#pragma once

#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>

namespace velmora {

class Engine : public QThread
{
public:
    // What the engine asks of the connection between jobs; every hook runs on the engine's thread.
    struct Hooks
    {
        std::function<long long()> watchedHandle; // a descriptor whose hang-up means the box is gone, or -1
        std::function<long long()> msUntilIdle; // when idle work is due (0: now), or -1 for never
        std::function<void()> hungUp;
        std::function<void()> idleWork;
        std::function<void()> afterWork;        // after every job and every wake-up
    };

    explicit Engine(Hooks hooks);
    ~Engine() override;
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    // Runs `job` on the engine's thread and returns when it has run (at once when called on that thread).
    void runJob(const std::function<void()> &job);
    bool isCurrentThread() const { return QThread::currentThread() == this; }

protected:
    void run() override;

private:
    void waitForWork();
    // The wake-up and the wait between jobs, per platform (engine_unix.cpp, engine_win.cpp): until a job, a
    // hang-up of the watched port, or `untilIdleMs` (-1: no idle work due).
    void openWake();
    void closeWake();
    void wake();
    void waitAtMost(long long untilIdleMs);
    void markWoken();
    void waitOnCondition(long long timeoutMs);
    bool takeJobs(std::deque<std::packaged_task<void()>> &batch);

    const Hooks hooks;
    std::mutex mutex;
    std::condition_variable wakeUp; // where no descriptor can be polled
    std::deque<std::packaged_task<void()>> jobs;
    bool stopping = false;
    bool woken = false;
    int wakePipe[2] = {-1, -1}; // where the system has pipes and poll
};

} // namespace velmora
