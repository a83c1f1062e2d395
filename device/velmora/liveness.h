// When a connected box that is sent nothing is looked at: its device node every 0.75 s, and after 1.5
// quiet seconds also its status. With two unanswered status queries of 500 ms each, a box that falls
// silent is given up about 2.5 s after its last answer.
#pragma once

#include <QElapsedTimer>

namespace velmora {

class IdleWatch
{
public:
    enum class Check { Node, NodeAndStatus };

    static constexpr long long tickMs = 750;
    static constexpr int ticksBeforeQuery = 2;

    // Watching starts with the connection; every command sent puts the next look off.
    void start();
    void stop() { active = false; }
    void activity();
    bool isActive() const { return active; }
    // Milliseconds until the next look, 0 when it is due; -1 while not watching.
    long long msUntilDue() const;
    // The look that is due now; the next one follows a tick later.
    Check take();

private:
    bool active = false;
    QElapsedTimer clock;
    long long nextDueMs = 0;
    int quietTicks = 0;
};

} // namespace velmora
