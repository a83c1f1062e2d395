// One wait on a device, bounded: a condition checked whenever the device may have changed, a fault that may end it
// early, and a deadline. Exactly one of its outcomes answers, once.
#pragma once

#include <QString>
#include <QTimer>

#include <functional>

class BoundedWait
{
public:
    using Condition = std::function<bool()>;
    using Text = std::function<QString()>;
    using Then = std::function<void()>;
    using Failed = std::function<void(const QString &error)>;

    BoundedWait();

    // Replaces any wait under way (its answers are dropped) and checks the condition at once. `fault` gives the
    // error that ends the wait early (empty while there is none); `lateText` the error when the time is up.
    void start(const Condition &condition, int timeoutMs, const Text &lateText, const Then &then, const Failed &failed,
               const Text &fault = nullptr);
    void cancel();
    bool active() const { return bool(condition); }
    // After a change of the device: answers when the condition holds or the fault shows.
    void check();

private:
    void timedOut();

    Condition condition;
    Text lateText;
    Text fault;
    Then then;
    Failed failed;
    QTimer deadline;
};
