// The window's state as the server's threads read it: written on the window's thread (and by the server's
// client bookkeeping) under a mutex, read as a copy, so a read never waits for the window or the box.
#pragma once

#include "alpacaprotocol.h"

#include <mutex>

namespace alpaca {

class PublishedState
{
public:
    DeviceSnapshot snapshot() const;

    // The window's thread: what the widgets show now.
    void publishWindow(bool boxConnected, bool lampSwitchedOn, bool lampLit, int brightness);
    void setLastCommandFailed(bool failed);

    // A client's command is queued for the window's thread / has been done there.
    void commandAccepted();
    void commandDone();
    void setConnecting(bool connecting);

    void connectClient(quint32 clientId);
    void disconnectClient(quint32 clientId);

private:
    mutable std::mutex mutex;
    DeviceSnapshot state;
};

} // namespace alpaca
