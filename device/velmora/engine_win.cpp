// The engine's wait on Windows: a condition variable, woken by a job or the engine's end, that times out when
// idle work is due. A pulled box is seen by that idle work (its COM port gone, or its failing I/O), not by a
// hang-up: Windows reports none on a serial handle that nobody reads.
#include "engine.h"

namespace velmora {

void Engine::openWake()
{
}

void Engine::closeWake()
{
}

void Engine::wake()
{
    markWoken();
    wakeUp.notify_one();
}

void Engine::waitAtMost(long long untilIdleMs)
{
    waitOnCondition(untilIdleMs);
}

} // namespace velmora
