// The console's control events: each becomes stopRequested() on the object's thread. For a closed console, a
// log-off or a shut-down Windows ends the process as soon as the handler returns, so the handler waits there until
// stopped() or until the program's own exit ends it (with the program's exit status).
#include "stopsignals.h"

#include <QMetaObject>
#include <QPointer>

#include <windows.h>

#include <mutex>

namespace {

constexpr DWORD stopWaitMs = 4500; // Windows allows a closing console's handler 5 s

std::mutex watchersMutex;
QPointer<StopSignals> watcher;
HANDLE stoppedEvent = nullptr;

QString eventName(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
        return QStringLiteral("Ctrl-C");
    case CTRL_BREAK_EVENT:
        return QStringLiteral("Ctrl-Break");
    case CTRL_CLOSE_EVENT:
        return QStringLiteral("console closed");
    case CTRL_LOGOFF_EVENT:
        return QStringLiteral("log-off");
    default:
        return QStringLiteral("shut-down");
    }
}

BOOL WINAPI onControlEvent(DWORD event)
{
    {
        const std::lock_guard<std::mutex> lock(watchersMutex);
        if (!watcher)
            return FALSE;
        const QString why = eventName(event);
        QMetaObject::invokeMethod(watcher.data(), [target = watcher, why] {
            if (target)
                emit target->stopRequested(why);
        }, Qt::QueuedConnection);
    }
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        ::WaitForSingleObject(stoppedEvent, stopWaitMs);
    return TRUE;
}

} // namespace

struct StopSignals::Watch
{
    bool watching = false;
};

StopSignals::StopSignals(QObject *parent) : QObject(parent), watch(new Watch)
{
    const std::lock_guard<std::mutex> lock(watchersMutex);
    if (!stoppedEvent)
        stoppedEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    watcher = this;
    watch->watching = ::SetConsoleCtrlHandler(onControlEvent, TRUE) != 0;
}

StopSignals::~StopSignals()
{
    ::SetConsoleCtrlHandler(onControlEvent, FALSE);
    {
        const std::lock_guard<std::mutex> lock(watchersMutex);
        watcher.clear();
    }
    delete watch;
}

bool StopSignals::isWatching() const
{
    return watch->watching;
}

void StopSignals::stopped()
{
    if (stoppedEvent)
        ::SetEvent(stoppedEvent);
}
