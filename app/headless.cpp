#include "headless.h"

#include "alpacaservice.h"
#include "boxcontroller.h"
#include "boxwatcher.h"
#include "startup.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSettings>
#include <QSocketNotifier>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

#if defined(Q_OS_UNIX)

int signalPipe[2] = {-1, -1};

void writeSignal(int signalNumber)
{
    const char byte = static_cast<char>(signalNumber);
    const ssize_t written = ::write(signalPipe[1], &byte, 1);
    (void)written;
}

// SIGTERM and SIGINT become a readable byte on a socket that the event loop watches.
bool catchStopSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = writeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
}

// Ends the program the way the window's close does once a stop signal came.
void stopOnSignal(QCoreApplication &app, BoxController &controller, std::unique_ptr<AlpacaService> &server)
{
    if (!catchStopSignals()) {
        qWarning() << "SIGTERM and SIGINT cannot be caught";
        return;
    }
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &controller);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app, &controller, &server, notifier] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) != 1)
            return;
        notifier->setEnabled(false);
        qDebug() << "stopping on signal" << int(byte);
        server.reset();
        controller.shutDown([&app] { app.quit(); });
    });
}
#else
void stopOnSignal(QCoreApplication &, BoxController &, std::unique_ptr<AlpacaService> &)
{
}
#endif

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

    watchForLostBox(controller);
    searchAtStart(controller, autoSearch);
    std::unique_ptr<AlpacaService> server = startAlpacaServer(controller);
    stopOnSignal(app, controller, server);
    const int status = app.exec();
    server.reset();
    return status;
}
