#include "boundedwait.h"

BoundedWait::BoundedWait()
{
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, [this] { timedOut(); });
}

void BoundedWait::start(const Condition &until, int timeoutMs, const Text &late, const Then &whenMet,
                        const Failed &whenFailed, const Text &faultShown)
{
    condition = until;
    lateText = late;
    then = whenMet;
    failed = whenFailed;
    fault = faultShown;
    deadline.start(timeoutMs);
    check();
}

void BoundedWait::cancel()
{
    deadline.stop();
    condition = nullptr;
}

void BoundedWait::check()
{
    if (!condition)
        return;
    const QString error = fault ? fault() : QString();
    if (!error.isEmpty()) {
        cancel();
        const auto answer = failed;
        return answer(error);
    }
    if (!condition())
        return;
    cancel();
    const auto answer = then; // the answer may start the next wait
    answer();
}

void BoundedWait::timedOut()
{
    if (!condition)
        return;
    condition = nullptr;
    const auto answer = failed;
    answer(lateText());
}
