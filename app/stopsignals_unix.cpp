// SIGTERM, SIGINT and SIGHUP: the handler writes the signal's number to a socket that the event loop watches.
#include "stopsignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalSockets[2] = {-1, -1};

void writeSignal(int signalNumber)
{
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[1], &byte, 1);
}

QString signalName(int signalNumber)
{
    return QStringLiteral("signal %1").arg(signalNumber);
}

bool catchStopSignals()
{
    if (signalSockets[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = writeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0
           && sigaction(SIGHUP, &action, nullptr) == 0;
}

} // namespace

struct StopSignals::Watch
{
    QSocketNotifier *notifier = nullptr;
};

StopSignals::StopSignals(QObject *parent) : QObject(parent), watch(new Watch)
{
    if (!catchStopSignals())
        return;
    watch->notifier = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, this);
    connect(watch->notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        if (::read(signalSockets[0], &byte, 1) == 1)
            emit stopRequested(signalName(byte));
    });
}

StopSignals::~StopSignals()
{
    delete watch;
}

bool StopSignals::isWatching() const
{
    return watch->notifier != nullptr;
}

void StopSignals::stopped()
{
}
