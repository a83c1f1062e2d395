#include "brokenpipe.h"

// Windows sockets raise no signal on a closed connection.
void ignoreBrokenPipes() {}
