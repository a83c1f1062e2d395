// The box's state as the server's threads read it: written on the controller's thread (and by the server's
// client bookkeeping) under a mutex, read as a copy, so a read never waits for the controller or the box.
#pragma once

#include "alpacaprotocol.h"

#include <mutex>

namespace alpaca {

class PublishedState
{
public:
    DeviceSnapshot snapshot() const;

    // The controller's thread: its state now.
    void publishWindow(bool boxConnected, bool lampSwitchedOn, bool lampLit, int brightness);
    void setLastCommandFailed(bool failed);
    // A message box or file dialog of the panel is open (title) or closed.
    void setDialog(bool open, const QString &title);

    // A client's lamp command waits for / is done by the controller.
    void commandAccepted();
    void commandDone();

    void connectClient(quint32 clientId);
    void disconnectClient(quint32 clientId);
    // A client's asynchronous connect starts searching, and ends with its outcome.
    void connectStarted(quint32 clientId);
    void connectEnded(quint32 clientId, bool succeeded, const QString &failure);

private:
    mutable std::mutex mutex;
    DeviceSnapshot state;
};

} // namespace alpaca
