// Clients that put a load on the Alpaca server: kept-alive pollers, idle and dribbling connections, oversized
// headers and bodies. Plain loopback sockets on threads of their own; every wait is bounded.
#pragma once

#include "alpacaclient.h"

#include <QByteArray>
#include <QVector>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

// A connected loopback socket with 5 s send and receive time-outs; -1 when the connection was refused.
int openConnection(int port);

// One kept-alive connection: a request, then the reply's status line and body (by its Content-Length).
class KeptAliveClient
{
public:
    explicit KeptAliveClient(int port);
    ~KeptAliveClient();
    HttpReply request(const QByteArray &method, const QByteArray &target, const QByteArray &form = QByteArray());

private:
    int fd;
    QByteArray pending;
};

// Clients that poll a GET over kept-alive connections, each as fast as the server answers.
class Pollers
{
public:
    Pollers(int port, int clients);
    ~Pollers();
    int replies() const { return answered; }

private:
    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::vector<std::thread> threads;
};

// Connections that send nothing, or their headers a byte at a time (every 100 ms each). Records when the
// server closed each of them, in ms after they opened.
class SlowClients
{
public:
    SlowClients(int port, int clients, bool dribble);
    ~SlowClients();
    int opened() const { return int(fds.size()); }
    // Waits (at most `limitMs`) until the server has closed every connection; the latest closing time, or -1.
    int waitUntilAllClosed(int limitMs);
    int closedCount() const;

private:
    void run();
    std::vector<int> fds;
    std::vector<std::atomic<int>> closedAtMs;
    bool dribble;
    std::atomic<bool> stop{false};
    std::thread thread;
};

struct FloodOutcome
{
    int status = 0;   // the status of the server's reply, 0 when the connection ended without one
    qint64 sent = 0;  // bytes the server took in before it replied or closed
};

// Sends `head`, then `piece` again and again up to `total` bytes or until the server stops reading.
FloodOutcome flood(int port, const QByteArray &head, const QByteArray &piece, qint64 total);

// This process's resident memory now and its peak since resetPeakMemory(), in KiB.
qint64 residentKiB();
qint64 peakResidentKiB();
void resetPeakMemory();
