// The server's settings in the per-user store, group "alpaca".
#pragma once

#include "alpacaprotocol.h"

class QSettings;

namespace alpaca {

// Reads the group; a missing or malformed value takes its default. A device id is generated and stored the
// first time, so that imaging programs always find the same device.
Settings readSettings(QSettings &store);
// Stores the server's choices (the device id stays as it is).
void writeSettings(QSettings &store, const Settings &settings);

} // namespace alpaca
