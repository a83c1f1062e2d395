#include "headless.h"

#include "alpacaservice.h"
#include "boxcontroller.h"
#include "boxwatcher.h"
#include "startup.h"
#include "stopsignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>

namespace {

// Ends the program the way the window's close does once a stop request came.
void stopOnRequest(QCoreApplication &app, StopSignals &stopSignals, BoxController &controller,
                   std::unique_ptr<AlpacaService> &server)
{
    if (!stopSignals.isWatching()) {
        qWarning() << "SIGTERM, SIGINT and SIGHUP cannot be caught";
        return;
    }
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &app,
                     [&app, &stopSignals, &controller, &server, stopping = false](const QString &why) mutable {
                         qDebug().noquote() << "stopping on" << why;
                         if (stopping)
                             return;
                         stopping = true;
                         server.reset();
                         controller.shutDown([&app, &stopSignals] {
                             stopSignals.stopped();
                             app.quit();
                         });
                     });
}

// The window's start-up search: the ports are listed in any case; the box is looked for when automatic search is on.
void searchAtStart(BoxController &controller, const QString &autoSearch)
{
    const QList<SerialPortEntry> ports = controller.listPorts();
    if (autoSearch == QLatin1String("true") && !ports.isEmpty())
        controller.search(ports);
}

} // namespace

int runHeadless(QCoreApplication &app, BoxController &controller)
{
    QSettings settings;
    const QString autoSearch = readAutoSearchPreference(settings);

    StopSignals stopSignals;
    watchForLostBox(controller);
    searchAtStart(controller, autoSearch);
    std::unique_ptr<AlpacaService> server = startAlpacaServer(controller);
    stopOnRequest(app, stopSignals, controller, server);
    const int status = app.exec();
    server.reset();
    return status;
}
