#include "discovery.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

namespace {

const QByteArray probe("alpacadiscovery1");
const QHostAddress ipv6Group(QStringLiteral("ff12::a1:9aca"));

// Scope ids differ between the interface list and received datagrams; the address alone counts.
QHostAddress withoutScope(const QHostAddress &address)
{
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return address;
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped)
        return QHostAddress(v4);
    return QHostAddress(address.toIPv6Address());
}

const QUdpSocket::BindMode sharedBind = QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint;

} // namespace

DiscoveryResponder::DiscoveryResponder(int discoveryPort, int alpacaPort, bool thisMachineOnly)
    : requestedPort(discoveryPort)
    , alpacaPort(alpacaPort)
    , thisMachineOnly(thisMachineOnly)
{
    for (const QHostAddress &address : QNetworkInterface::allAddresses())
        ownAddresses.append(withoutScope(address));
}

int DiscoveryResponder::open()
{
    // Other Alpaca servers on this machine share the discovery port.
    auto *ipv4 = new QUdpSocket(this);
    if (!ipv4->bind(QHostAddress::AnyIPv4, quint16(requestedPort), sharedBind)) {
        qDebug() << "Alpaca discovery not started: " << ipv4->errorString();
        return 0;
    }
    const quint16 port = ipv4->localPort();
    QUdpSocket *reply4 = ipv4;
    if (thisMachineOnly) {
        // Sent from the loopback address, the answer leads a local client to the loopback server.
        reply4 = new QUdpSocket(this);
        reply4->bind(QHostAddress(QHostAddress::LocalHost), 0);
    }
    connect(ipv4, &QUdpSocket::readyRead, this, [this, ipv4, reply4] { answer(ipv4, reply4); });

    auto *ipv6 = new QUdpSocket(this);
    if (ipv6->bind(QHostAddress::AnyIPv6, port, sharedBind)) {
        if (!ipv6->joinMulticastGroup(ipv6Group))
            qDebug() << "Alpaca discovery: no IPv6 multicast: " << ipv6->errorString();
        QUdpSocket *reply6 = ipv6;
        if (thisMachineOnly) {
            reply6 = new QUdpSocket(this);
            if (!reply6->bind(QHostAddress(QHostAddress::LocalHostIPv6), 0))
                reply6 = ipv6;
        }
        connect(ipv6, &QUdpSocket::readyRead, this, [this, ipv6, reply6] { answer(ipv6, reply6); });
    } else {
        qDebug() << "Alpaca discovery: IPv4 only: " << ipv6->errorString();
        delete ipv6;
    }
    return port;
}

void DiscoveryResponder::answer(QUdpSocket *socket, QUdpSocket *replySocket)
{
    while (socket->hasPendingDatagrams()) {
        const qint64 size = socket->pendingDatagramSize();
        const QNetworkDatagram datagram = socket->receiveDatagram(maxProbeBytes);
        if (size > maxProbeBytes || !datagram.data().startsWith(probe))
            continue;
        if (thisMachineOnly && !fromThisMachine(datagram.senderAddress()))
            continue;
        if (!withinRate(withoutScope(datagram.senderAddress())))
            continue;
        const QByteArray reply =
            QJsonDocument(QJsonObject{{QStringLiteral("AlpacaPort"), alpacaPort}}).toJson(QJsonDocument::Compact);
        replySocket->writeDatagram(reply, datagram.senderAddress(), quint16(datagram.senderPort()));
    }
}

bool DiscoveryResponder::fromThisMachine(const QHostAddress &sender) const
{
    const QHostAddress address = withoutScope(sender);
    return address.isLoopback() || ownAddresses.contains(address);
}

bool DiscoveryResponder::RateWindow::allows(qint64 nowMs, int limit)
{
    if (nowMs - startMs >= 1000) {
        startMs = nowMs;
        replies = 0;
    }
    return ++replies <= limit;
}

// A noisy sender uses up its own share only; the total stays bounded whatever the senders' addresses.
bool DiscoveryResponder::withinRate(const QHostAddress &sender)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (senders.size() > 1024) {
        for (auto it = senders.begin(); it != senders.end();)
            it = now - it->startMs >= 1000 ? senders.erase(it) : std::next(it);
    }
    return senders[sender].allows(now, repliesPerSender) && allSenders.allows(now, repliesPerSecond);
}

DiscoveryService::DiscoveryService(int discoveryPort, int alpacaPort, bool thisMachineOnly)
    : responder(new DiscoveryResponder(discoveryPort, alpacaPort, thisMachineOnly))
{
    thread.setObjectName(QStringLiteral("alpaca discovery"));
    responder->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, responder, &QObject::deleteLater);
    thread.start();
    QMetaObject::invokeMethod(responder, "open", Qt::BlockingQueuedConnection, Q_RETURN_ARG(int, boundPort));
}

DiscoveryService::~DiscoveryService()
{
    thread.quit();
    thread.wait();
}
