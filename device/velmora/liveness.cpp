#include "liveness.h"

namespace velmora {

void IdleWatch::start()
{
    active = true;
    clock.start();
    activity();
}

void IdleWatch::activity()
{
    if (!clock.isValid())
        clock.start();
    nextDueMs = clock.elapsed() + tickMs;
    quietTicks = 0;
}

long long IdleWatch::msUntilDue() const
{
    if (!active)
        return -1;
    const long long left = nextDueMs - clock.elapsed();
    return left > 0 ? left : 0;
}

IdleWatch::Check IdleWatch::take()
{
    nextDueMs = clock.elapsed() + tickMs;
    return ++quietTicks >= ticksBeforeQuery ? Check::NodeAndStatus : Check::Node;
}

} // namespace velmora
