// A wait that goes on serving the thread's events, as a dialog's exec() does, until an outcome has come.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>

// `loop` is quit by whoever sets `finished`. Once the application is quitting, Qt ends every event loop of the
// thread and lets none run again until its exec() has returned, so the loop cannot wait any longer: the rest of
// the wait blocks in processEvents until the next event, without user input, and the caller still gets its
// operation's real outcome (a device call always ends, on time-outs of its own).
inline void serveEventsUntil(QEventLoop &loop, const bool &finished,
                             QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents)
{
    if (!finished)
        loop.exec(flags);
    while (!finished)
        QCoreApplication::processEvents(flags | QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
}
