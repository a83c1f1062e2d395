// libindiclient writes to its socket without guarding against a peer that has closed it: a server that goes away
// between two commands would end the whole program with SIGPIPE instead of the run's own error.
#pragma once

// Writes to a closed socket fail with an error instead of ending the program; idempotent.
void ignoreBrokenPipes();
