#include "alpacaservice.h"

#include "alpacasettings.h"
#include "discovery.h"
#include "httpfront.h"
#include "publishedstate.h"
#include "boxbridge.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QSettings>

namespace {

// In network mode an unknown Host makes the server look at the machine's addresses again, at most this often.
constexpr qint64 addressesRefreshMs = 1000;

QStringList allowedHosts(bool network)
{
    QStringList hosts{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("[::1]")};
    if (!network)
        return hosts;
    const QString name = QHostInfo::localHostName().toLower();
    if (!name.isEmpty()) {
        hosts << name << name + QStringLiteral(".local");
        const QString domain = QHostInfo::localDomainName().toLower();
        if (!domain.isEmpty())
            hosts << name + QLatin1Char('.') + domain;
    }
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv6Protocol)
            hosts << QLatin1Char('[') + QHostAddress(address.toIPv6Address()).toString().toLower() + QLatin1Char(']');
        else
            hosts << address.toString();
    }
    hosts.removeDuplicates();
    return hosts;
}

alpaca::ServerContext serverContext(const alpaca::Settings &settings, const QString &listenText, int httpPort)
{
    alpaca::ServerContext context;
    context.serverName = QCoreApplication::applicationName();
    context.manufacturer = QCoreApplication::organizationName();
    context.version = QCoreApplication::applicationVersion();
    context.location = QHostInfo::localHostName();
    context.deviceName = QCoreApplication::applicationName();
    context.description = QStringLiteral("VELMORA flat field generator (USB light box)");
    context.driverInfo = QStringLiteral("VELMORA Flat Box control panel, Alpaca CoverCalibrator server");
    context.listenText = listenText;
    context.allowedHosts = allowedHosts(settings.network);
    context.httpPort = httpPort;
    context.settings = settings;
    return context;
}

} // namespace

struct AlpacaService::Parts
{
    alpaca::PublishedState state;
    std::unique_ptr<AlpacaBoxBridge> bridge;
    alpaca::ServerContext context;
    quint32 nextTransaction = 1;
    qint64 addressesSeenMs = 0;
    HttpFront http{[this](const alpaca::Request &request, const HttpFront::Later &later) {
        return handle(request, later);
    }};
    std::unique_ptr<DiscoveryService> discovery;

    std::optional<alpaca::Reply> handle(const alpaca::Request &request, const HttpFront::Later &later);
    alpaca::Reply respond(const alpaca::Request &request, quint32 transaction);
    std::optional<alpaca::Reply> carryOut(const alpaca::Request &request, const alpaca::Reply &reply,
                                          quint32 transaction, const HttpFront::Later &later);
};

// The server's thread: answers from the published state; commands go to the controller's thread.
std::optional<alpaca::Reply> AlpacaService::Parts::handle(const alpaca::Request &request,
                                                          const HttpFront::Later &later)
{
    const quint32 transaction = nextTransaction++;
    const alpaca::Reply reply = respond(request, transaction);
    if (reply.command.kind == alpaca::Command::None)
        return reply;
    return carryOut(request, reply, transaction, later);
}

// After a change of address (a new lease, a new interface) the first request that names the new address makes
// the server look at the machine's addresses again.
alpaca::Reply AlpacaService::Parts::respond(const alpaca::Request &request, quint32 transaction)
{
    alpaca::Reply reply = alpaca::respond(request, state.snapshot(), context, transaction);
    if (reply.status != 403 || !context.settings.network || request.host.isEmpty()
        || alpaca::hostAllowed(request.host, context.allowedHosts))
        return reply;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - addressesSeenMs < addressesRefreshMs)
        return reply;
    addressesSeenMs = now;
    context.allowedHosts = allowedHosts(true);
    return alpaca::respond(request, state.snapshot(), context, transaction);
}

std::optional<alpaca::Reply> AlpacaService::Parts::carryOut(const alpaca::Request &request,
                                                            const alpaca::Reply &reply, quint32 transaction,
                                                            const HttpFront::Later &later)
{
    const alpaca::Command &command = reply.command;
    switch (command.kind) {
    case alpaca::Command::ConnectClient:
        state.connectClient(command.clientId);
        return reply;
    case alpaca::Command::DisconnectClient:
        state.disconnectClient(command.clientId);
        return reply;
    case alpaca::Command::CalibratorOn:
    case alpaca::Command::CalibratorOff:
        bridge->submitLamp(command);
        return reply;
    case alpaca::Command::StoreSettings:
        bridge->submitSettings(command.settings);
        return reply;
    case alpaca::Command::ConnectBox:
        break;
    case alpaca::Command::None:
        return reply;
    }
    alpaca::PublishedState &published = state;
    const quint32 client = command.clientId;
    if (!command.waitForOutcome) {
        // The asynchronous connect: its outcome shows in the client's Connecting.
        published.connectStarted(client);
        bridge->submitSearch([&published, client](const AlpacaBoxBridge::Outcome &outcome) {
            published.connectEnded(client, outcome.succeeded, outcome.failure);
        });
        return reply;
    }
    bridge->submitSearch([&published, client, request, transaction, later](const AlpacaBoxBridge::Outcome &outcome) {
        if (outcome.succeeded)
            published.connectClient(client);
        later(alpaca::outcomeReply(request, transaction, outcome.succeeded, outcome.failure));
    });
    return std::nullopt;
}

AlpacaService::AlpacaService(std::unique_ptr<Parts> parts)
    : parts(std::move(parts))
{
}

AlpacaService::~AlpacaService()
{
    // Commands still waiting for the controller are dropped; clients still waiting get their answer as the server
    // closes their connections.
    parts->bridge->close();
    parts->http.stop();
    parts->discovery.reset();
    parts->bridge.reset();
}

int AlpacaService::httpPort() const
{
    return parts->http.port();
}

int AlpacaService::discoveryPort() const
{
    return parts->discovery ? parts->discovery->port() : 0;
}

std::unique_ptr<AlpacaService> AlpacaService::start(BoxController &controller, const alpaca::Settings &settings)
{
    if (!settings.enabled) {
        qDebug() << "Alpaca server disabled";
        return nullptr;
    }
    auto parts = std::make_unique<Parts>();
    if (!parts->http.bindAll(settings.network, settings.port)) {
        qDebug() << "Alpaca server not started, port in use: " << settings.port;
        return nullptr;
    }
    const QString listenText = QString::fromStdString(parts->http.listenText());
    parts->context = serverContext(settings, listenText, parts->http.port());
    parts->bridge = std::make_unique<AlpacaBoxBridge>(controller, parts->state);
    parts->http.start();
    qDebug() << "Alpaca server: " << listenText;
    parts->discovery = std::make_unique<DiscoveryService>(settings.discoveryPort, parts->http.port(), !settings.network);
    if (parts->discovery->port() != 0)
        qDebug() << "Alpaca discovery port: " << parts->discovery->port();
    return std::unique_ptr<AlpacaService>(new AlpacaService(std::move(parts)));
}

std::unique_ptr<AlpacaService> startAlpacaServer(BoxController &controller)
{
    QSettings store;
    return AlpacaService::start(controller, alpaca::readSettings(store));
}
