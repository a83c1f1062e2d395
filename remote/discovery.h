// Alpaca discovery: answers a datagram that begins with "alpacadiscovery1" (up to 64 bytes) on the discovery port
// with {"AlpacaPort": <port>},
// over IPv4 and over IPv6 (multicast group ff12::a1:9aca) where the machine has it. Runs on its own thread.
#pragma once

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QThread>

#include <memory>

class QUdpSocket;

class DiscoveryResponder : public QObject
{
    Q_OBJECT

public:
    // thisMachineOnly: answer only probes that come from this machine, from its loopback address.
    DiscoveryResponder(int discoveryPort, int alpacaPort, bool thisMachineOnly);

    // On the responder's thread. Returns the bound discovery port, or 0 when it could not bind.
    Q_INVOKABLE int open();

    // Replies allowed per second to one sender address, and to all senders together.
    static constexpr int repliesPerSender = 5;
    static constexpr int repliesPerSecond = 100;
    static constexpr int maxProbeBytes = 64;

private:
    struct RateWindow
    {
        qint64 startMs = 0;
        int replies = 0;
        bool allows(qint64 nowMs, int limit);
    };

    void answer(QUdpSocket *socket, QUdpSocket *replySocket);
    bool fromThisMachine(const QHostAddress &sender) const;
    bool withinRate(const QHostAddress &sender);

    int requestedPort;
    int alpacaPort;
    bool thisMachineOnly;
    QList<QHostAddress> ownAddresses;
    RateWindow allSenders;
    QHash<QHostAddress, RateWindow> senders;
};

// The responder on a thread of its own, for the life of this object.
class DiscoveryService
{
public:
    DiscoveryService(int discoveryPort, int alpacaPort, bool thisMachineOnly);
    ~DiscoveryService();
    int port() const { return boundPort; }

private:
    QThread thread;
    DiscoveryResponder *responder;
    int boundPort = 0;
};
