// SIGTERM, SIGINT and SIGHUP become a byte on a socket pair that a QSocketNotifier watches: the handler only writes
// that byte, which is all that is safe inside a signal handler.
#include "stopsignals.h"

#include <QList>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <iterator>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int caughtSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end of the listening object's socket pair, -1 while none listens.
volatile sig_atomic_t writeEnd = -1;

void passOn(int signalNumber)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    const ssize_t written = ::write(writeEnd, &byte, 1);
    (void)written; // a full socket already holds a request
    errno = savedErrno;
}

QString nameOf(int signalNumber)
{
    switch (signalNumber) {
    case SIGTERM:
        return QStringLiteral("SIGTERM");
    case SIGINT:
        return QStringLiteral("SIGINT");
    case SIGHUP:
        return QStringLiteral("SIGHUP");
    default:
        return QStringLiteral("signal %1").arg(signalNumber);
    }
}

bool makeNonBlocking(int descriptor)
{
    const int flags = ::fcntl(descriptor, F_GETFL);
    return flags >= 0 && ::fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) == 0
           && ::fcntl(descriptor, F_SETFD, FD_CLOEXEC) == 0;
}

} // namespace

struct StopSignals::Listener
{
    int sockets[2] = {-1, -1};
    int writeEndBefore = -1;
    struct sigaction before[std::size(caughtSignals)] = {};
    int installed = 0; // how many of caughtSignals have our handler
    QSocketNotifier *notifier = nullptr;

    bool open()
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0)
            return false;
        if (!makeNonBlocking(sockets[0]) || !makeNonBlocking(sockets[1]))
            return false;
        writeEndBefore = writeEnd;
        writeEnd = sockets[1];
        struct sigaction action = {};
        action.sa_handler = passOn;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signalNumber : caughtSignals) {
            if (::sigaction(signalNumber, &action, &before[installed]) != 0)
                return false;
            ++installed;
        }
        return true;
    }

    // The handlers go first, so that no signal writes to a closed socket.
    void close()
    {
        while (installed > 0) {
            --installed;
            ::sigaction(caughtSignals[installed], &before[installed], nullptr);
        }
        if (writeEnd == sockets[1])
            writeEnd = writeEndBefore;
        for (int &socket : sockets) {
            if (socket >= 0)
                ::close(socket);
            socket = -1;
        }
    }
};

StopSignals::StopSignals(QObject *parent) : QObject(parent), listener(new Listener)
{
    if (!listener->open()) {
        listener->close();
        return;
    }
    listener->notifier = new QSocketNotifier(listener->sockets[0], QSocketNotifier::Read, this);
    connect(listener->notifier, &QSocketNotifier::activated, this, [this] {
        QList<int> received;
        char byte = 0;
        while (::read(listener->sockets[0], &byte, 1) == 1)
            received.append(static_cast<unsigned char>(byte));
        const QPointer<StopSignals> self(this); // a receiver may end this object
        for (int signalNumber : received)
            if (self)
                emit stopRequested(nameOf(signalNumber));
    });
}

StopSignals::~StopSignals()
{
    delete listener->notifier;
    listener->close();
    delete listener;
}

bool StopSignals::isWatching() const
{
    return listener->notifier != nullptr;
}

void StopSignals::stopped()
{
}
