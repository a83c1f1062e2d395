#include "windowending.h"

#include "boxcontroller.h"
#include "controllerwait.h"
#include "tablerecovery.h"
#include "velmoraflat.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTimer>

WindowEnding::WindowEnding(QObject *parent) : QObject(parent)
{
    if (!stopSignals.isWatching())
        qWarning() << "SIGTERM, SIGINT and SIGHUP cannot be caught";
    connect(&stopSignals, &StopSignals::stopRequested, this, &WindowEnding::stop);
    // Emitted once the event loop has returned, when every wait inside it has ended.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &WindowEnding::end);
}

void WindowEnding::watch(VelmoraFlat &watched)
{
    window = &watched;
    if (stopHeard) {
        // Quitting before the event loop runs is forgotten when it starts: the loop quits as soon as it runs.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        return;
    }
    QTimer::singleShot(0, window, [this] {
        if (window && !stopHeard)
            announceKeptTables(*window);
    });
}

// Every wait of the window ends with its operation (user input held back meanwhile); then the event loop returns
// and end() switches the box off.
void WindowEnding::stop(const QString &why)
{
    qDebug().noquote() << "stopping on" << why;
    if (stopHeard)
        return;
    stopHeard = true;
    if (window && window->isVisible())
        keepUnsavedTable(*window);
    QCoreApplication::quit();
}

// A window that was closed has switched the box off itself (and asked about its table).
void WindowEnding::end()
{
    if (ended || !window)
        return;
    ended = true;
    if (window->isVisible()) {
        keepUnsavedTable(*window);
        BoxController &controller = window->boxController();
        waitFor<bool>([&controller](std::function<void(bool)> done) { controller.shutDown([done] { done(true); }); });
    }
    stopSignals.stopped();
}
