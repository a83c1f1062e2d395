// The console's control events: each becomes stopRequested() on the object's thread. For a closed console, a
// log-off or a shut-down Windows ends the process as soon as the handler returns, so the handler waits there until
// the program's own exit ends it (with the program's exit status).
#include "stopsignals.h"

#include <QMetaObject>
#include <QPointer>

#include <windows.h>

#include <mutex>

namespace {

constexpr DWORD stopWaitMs = 4500; // Windows allows a closing console's handler 5 s

std::mutex watchersMutex;
QPointer<StopSignals> watcher;
HANDLE stoppedEvent = nullptr; // never set: the wait ends with the process or its time

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

struct StopSignals::Listener
{
    bool watching = false;
    QPointer<StopSignals> before; // the one that listened until this one came
};

StopSignals::StopSignals(QObject *parent) : QObject(parent), listener(new Listener)
{
    const std::lock_guard<std::mutex> lock(watchersMutex);
    if (!stoppedEvent)
        stoppedEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    listener->before = watcher;
    watcher = this;
    listener->watching = ::SetConsoleCtrlHandler(onControlEvent, TRUE) != 0;
}

StopSignals::~StopSignals()
{
    {
        const std::lock_guard<std::mutex> lock(watchersMutex);
        if (watcher == this)
            watcher = listener->before;
    }
    if (listener->watching)
        ::SetConsoleCtrlHandler(onControlEvent, FALSE);
    delete listener;
}

bool StopSignals::isWatching() const
{
    return listener->watching;
}

// The handler of a closed console, a log-off or a shut-down holds Windows back until the program has exited (with
// its own status) or the time Windows gives is nearly up; letting it return earlier would end the program at once.
void StopSignals::stopped()
{
}
