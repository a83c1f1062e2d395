#include "attacks.h"

#include <QElapsedTimer>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

qint64 statusField(const char *name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(int(qstrlen(name))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

int openConnection(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval fiveSeconds{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &fiveSeconds, sizeof(fiveSeconds));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &fiveSeconds, sizeof(fiveSeconds));
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

KeptAliveClient::KeptAliveClient(int port)
    : fd(openConnection(port))
{
}

KeptAliveClient::~KeptAliveClient()
{
    if (fd >= 0)
        ::close(fd);
}

HttpReply KeptAliveClient::request(const QByteArray &method, const QByteArray &target, const QByteArray &form)
{
    QByteArray message = method + ' ' + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    if (method != "GET")
        message += "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " + QByteArray::number(form.size())
                   + "\r\n";
    message += "\r\n" + form;
    if (fd < 0 || ::send(fd, message.constData(), size_t(message.size()), MSG_NOSIGNAL) != message.size())
        return {};
    char buffer[4096];
    int headEnd = -1;
    qint64 length = -1;
    for (;;) {
        if (headEnd < 0 && (headEnd = pending.indexOf("\r\n\r\n")) >= 0) {
            const int at = pending.toLower().indexOf("\r\ncontent-length:");
            length = at < 0 || at > headEnd ? 0 : pending.mid(at + 17, pending.indexOf('\r', at + 2) - at - 17).trimmed().toLongLong();
        }
        if (headEnd >= 0 && pending.size() >= headEnd + 4 + length)
            break;
        const ssize_t got = ::recv(fd, buffer, sizeof(buffer), 0);
        if (got <= 0)
            return {};
        pending.append(buffer, int(got));
    }
    HttpReply reply;
    reply.status = pending.mid(9, 3).toInt();
    reply.body = pending.mid(headEnd + 4, int(length));
    pending.remove(0, headEnd + 4 + int(length));
    return reply;
}

Pollers::Pollers(int port, int clients)
{
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([this, port, i] {
            KeptAliveClient client(port);
            const QByteArray target = "/api/v1/covercalibrator/0/calibratorstate?ClientID=" + QByteArray::number(100 + i);
            while (!stop && client.request("GET", target).status == 200)
                ++answered;
        });
}

Pollers::~Pollers()
{
    stop = true;
    for (std::thread &thread : threads)
        thread.join();
}

SlowClients::SlowClients(int port, int clients, bool dribble)
    : closedAtMs(size_t(clients))
    , dribble(dribble)
{
    for (int i = 0; i < clients; ++i) {
        closedAtMs[size_t(i)] = -1;
        const int fd = openConnection(port);
        if (fd >= 0)
            fds.push_back(fd);
    }
    thread = std::thread([this] { run(); });
}

SlowClients::~SlowClients()
{
    stop = true;
    thread.join();
    for (int fd : fds)
        ::close(fd);
}

// Every 100 ms: one more byte of an endless header from each dribbler; notes every connection the server ended.
void SlowClients::run()
{
    static const QByteArray start("GET /api/v1/covercalibrator/0/name HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ");
    QElapsedTimer clock;
    clock.start();
    for (int step = 0; !stop; ++step) {
        for (size_t i = 0; i < fds.size(); ++i) {
            if (closedAtMs[i] >= 0)
                continue;
            bool ended = false;
            if (dribble) {
                const char byte = step < start.size() ? start.at(step) : 'a';
                ended = ::send(fds[i], &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN;
            }
            pollfd watched{fds[i], POLLIN, 0};
            char sink[256];
            if (!ended && poll(&watched, 1, 0) > 0)
                ended = ::recv(fds[i], sink, sizeof(sink), MSG_DONTWAIT) <= 0;
            if (ended)
                closedAtMs[i] = int(clock.elapsed());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

int SlowClients::closedCount() const
{
    int count = 0;
    for (size_t i = 0; i < fds.size(); ++i)
        count += closedAtMs[i] >= 0;
    return count;
}

int SlowClients::waitUntilAllClosed(int limitMs)
{
    QElapsedTimer waited;
    waited.start();
    while (closedCount() < int(fds.size()) && waited.elapsed() < limitMs)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (closedCount() < int(fds.size()))
        return -1;
    int latest = 0;
    for (size_t i = 0; i < fds.size(); ++i)
        latest = std::max(latest, closedAtMs[i].load());
    return latest;
}

FloodOutcome flood(int port, const QByteArray &head, const QByteArray &piece, qint64 total)
{
    FloodOutcome outcome;
    const int fd = openConnection(port);
    if (fd < 0)
        return outcome;
    bool open = ::send(fd, head.constData(), size_t(head.size()), MSG_NOSIGNAL) == head.size();
    while (open && outcome.sent < total) {
        pollfd watched{fd, POLLIN, 0};
        if (poll(&watched, 1, 0) > 0)
            break; // the server has answered (or closed) already
        open = ::send(fd, piece.constData(), size_t(piece.size()), MSG_NOSIGNAL) == piece.size();
        if (open)
            outcome.sent += piece.size();
    }
    char line[64] = {};
    if (::recv(fd, line, sizeof(line) - 1, 0) > 12 && qstrncmp(line, "HTTP/1.1 ", 9) == 0)
        outcome.status = QByteArray(line + 9, 3).toInt();
    ::close(fd);
    return outcome;
}

qint64 residentKiB()
{
    return statusField("VmRSS:");
}

qint64 peakResidentKiB()
{
    return statusField("VmHWM:");
}

void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}
