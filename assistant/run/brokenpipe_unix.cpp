#include "brokenpipe.h"

#include <csignal>

void ignoreBrokenPipes()
{
    std::signal(SIGPIPE, SIG_IGN);
}
