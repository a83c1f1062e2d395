#include "publishedstate.h"

namespace alpaca {

DeviceSnapshot PublishedState::snapshot() const
{
    DeviceSnapshot copy;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        copy = state;
    }
    copy.timestamp = QDateTime::currentDateTimeUtc();
    return copy;
}

void PublishedState::publishWindow(bool boxConnected, bool lampSwitchedOn, bool lampLit, int brightness)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.boxConnected = boxConnected;
    state.lampSwitchedOn = lampSwitchedOn;
    state.lampLit = lampLit;
    state.brightness = brightness;
}

void PublishedState::setLastCommandFailed(bool failed)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.lastCommandFailed = failed;
}

void PublishedState::commandAccepted()
{
    const std::lock_guard<std::mutex> lock(mutex);
    ++state.pendingCommands;
}

void PublishedState::commandDone()
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (state.pendingCommands > 0)
        --state.pendingCommands;
}

void PublishedState::setDialog(bool open, const QString &title)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.dialogOpen = open;
    state.dialogTitle = open ? title : QString();
}

void PublishedState::connectClient(quint32 clientId)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.connectedClients.insert(clientId);
    state.failedConnects.remove(clientId);
}

void PublishedState::disconnectClient(quint32 clientId)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.connectedClients.remove(clientId);
    state.connectingClients.remove(clientId);
    state.failedConnects.remove(clientId);
}

void PublishedState::connectStarted(quint32 clientId)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.connectingClients.insert(clientId);
    state.failedConnects.remove(clientId);
}

void PublishedState::connectEnded(quint32 clientId, bool succeeded, const QString &failure)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.connectingClients.remove(clientId);
    if (succeeded)
        state.connectedClients.insert(clientId);
    else
        state.failedConnects.insert(clientId, failure);
}

} // namespace alpaca
