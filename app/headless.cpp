#include "headless.h"

#include "alpacaservice.h"
#include "boxcontroller.h"
#include "boxwatcher.h"
#include "startup.h"
#include "stopsignals.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>

#include <memory>

namespace {

// Ends the program the way the window's close does once a stop request came.
void stopOnRequest(QCoreApplication &app, BoxController &controller, std::unique_ptr<AlpacaService> &server)
{
    auto *stops = new StopSignals(&controller);
    if (!stops->isWatching()) {
        qWarning() << "stop requests cannot be caught";
        return;
    }
    auto stopping = std::make_shared<bool>(false);
    QObject::connect(stops, &StopSignals::stopRequested, &app, [&app, &controller, &server, stopping](const QString &why) {
        if (*stopping)
            return;
        *stopping = true;
        qDebug().noquote() << "stopping on" << why;
        server.reset();
        controller.shutDown([&app] { app.quit(); });
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

int runHeadless(QCoreApplication &app)
{
    QSettings settings;
    const QString autoSearch = readAutoSearchPreference(settings);

    BoxController controller;
    watchForLostBox(controller);
    searchAtStart(controller, autoSearch);
    std::unique_ptr<AlpacaService> server = startAlpacaServer(controller);
    stopOnRequest(app, controller, server);
    const int status = app.exec();
    server.reset();
    return status;
}
