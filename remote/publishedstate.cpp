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

void PublishedState::setConnecting(bool connecting)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.connecting = connecting;
}

void PublishedState::connectClient(quint32 clientId)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.connectedClients.insert(clientId);
}

void PublishedState::disconnectClient(quint32 clientId)
{
    const std::lock_guard<std::mutex> lock(mutex);
    state.connectedClients.remove(clientId);
}

} // namespace alpaca
