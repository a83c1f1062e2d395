// How the window ends when it is told to from outside: on SIGTERM, SIGINT or SIGHUP (a logout, a shutdown, `kill`,
// Ctrl-C, a closed terminal), and when the application quits without the window having been closed. As the window's
// close does, the lamp goes off and the box is disconnected, through the box's controller; a flat table with unsaved
// edits is kept in a file (tablerecovery.h) instead of being asked about, and the next start says where.
#pragma once

#include "stopsignals.h"

#include <QObject>
#include <QPointer>
#include <QString>

class VelmoraFlat;

class WindowEnding : public QObject
{
    Q_OBJECT

public:
    // Listens from now on: made before the window, it hears a stop during the window's start-up search too.
    explicit WindowEnding(QObject *parent = nullptr);

    // The window that the ending is for, once it is built. Once the event loop runs, a message box names the tables
    // kept at the last ending; a stop heard before now ends the program then.
    void watch(VelmoraFlat &window);

private:
    void stop(const QString &why);
    void end();

    StopSignals stopSignals;
    QPointer<VelmoraFlat> window;
    bool stopHeard = false;
    bool ended = false;
};
