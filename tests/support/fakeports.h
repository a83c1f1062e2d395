#pragma once

// Control of the test double of the serial port listing.

#include "serialports.h"

namespace fakeports {

// The ports that availableSerialPorts() lists from now on (none after reset()).
void set(const QList<SerialPortEntry> &ports);
void clear();
// How many times the window asked for the list.
int listings();

} // namespace fakeports
