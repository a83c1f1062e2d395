#include "alpacaservice.h"

#include "alpacasettings.h"
#include "discovery.h"
#include "httpfront.h"
#include "publishedstate.h"
#include "windowbridge.h"

#include <httplib.h>

#include <QCoreApplication>
#include <QDebug>
#include <QHostInfo>
#include <QNetworkInterface>
#include <QSettings>

#include <atomic>
#include <chrono>

namespace {

// How long a client's Connected=true waits for the search (each port may take a boot wait of a few seconds).
constexpr std::chrono::seconds connectWait(30);

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

alpaca::ServerContext serverContext(const alpaca::Settings &settings, const QString &listenText)
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
    context.settings = settings;
    return context;
}

alpaca::Request toRequest(const httplib::Request &in)
{
    alpaca::Request request;
    request.method = QByteArray::fromStdString(in.method);
    request.path = QByteArray::fromStdString(in.path);
    for (const auto &param : in.params)
        request.params.append({QString::fromStdString(param.first), QString::fromStdString(param.second)});
    request.host = QByteArray::fromStdString(in.get_header_value("Host"));
    request.hasOrigin = in.has_header("Origin");
    request.origin = QByteArray::fromStdString(in.get_header_value("Origin"));
    return request;
}

} // namespace

struct AlpacaService::Parts
{
    alpaca::PublishedState state;
    std::unique_ptr<AlpacaWindowBridge> bridge;
    alpaca::ServerContext context;
    std::atomic<quint32> nextTransaction{1};
    HttpFront http{[this](const httplib::Request &request, httplib::Response &response) {
        handle(request, response);
    }};
    std::unique_ptr<DiscoveryService> discovery;

    void handle(const httplib::Request &in, httplib::Response &out);
    alpaca::Reply carryOut(const alpaca::Request &request, const alpaca::Reply &reply, quint32 transaction);
};

// A worker thread: answers from the published state; commands go to the window's thread.
void AlpacaService::Parts::handle(const httplib::Request &in, httplib::Response &out)
{
    const alpaca::Request request = toRequest(in);
    const quint32 transaction = nextTransaction.fetch_add(1);
    alpaca::Reply reply = alpaca::respond(request, state.snapshot(), context, transaction);
    if (reply.command.kind != alpaca::Command::None)
        reply = carryOut(request, reply, transaction);
    out.status = reply.status;
    out.set_content(reply.body.constData(), std::size_t(reply.body.size()), reply.contentType.constData());
}

alpaca::Reply AlpacaService::Parts::carryOut(const alpaca::Request &request, const alpaca::Reply &reply,
                                              quint32 transaction)
{
    const alpaca::Command &command = reply.command;
    if (command.kind == alpaca::Command::ConnectClient) {
        state.connectClient(command.clientId);
        return reply;
    }
    if (command.kind == alpaca::Command::DisconnectClient) {
        state.disconnectClient(command.clientId);
        return reply;
    }
    std::future<AlpacaWindowBridge::Outcome> outcome = bridge->submit(command);
    if (!command.waitForOutcome)
        return reply;
    if (outcome.wait_for(connectWait) != std::future_status::ready)
        return alpaca::outcomeReply(request, transaction, false, QStringLiteral("The search for the box took too long"));
    try {
        const AlpacaWindowBridge::Outcome result = outcome.get();
        return alpaca::outcomeReply(request, transaction, result.succeeded, result.failure);
    } catch (const std::future_error &) {
        return alpaca::outcomeReply(request, transaction, false, QStringLiteral("The panel is closing"));
    }
}

AlpacaService::AlpacaService(std::unique_ptr<Parts> parts)
    : parts(std::move(parts))
{
}

AlpacaService::~AlpacaService()
{
    // Commands still queued for the window are dropped, so that no worker waits for them while the server stops.
    parts->bridge->close();
    QCoreApplication::removePostedEvents(parts->bridge.get(), QEvent::MetaCall);
    parts->discovery.reset();
    parts->http.stop();
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

std::unique_ptr<AlpacaService> AlpacaService::start(VelmoraFlat &window, const alpaca::Settings &settings)
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
    parts->context = serverContext(settings, listenText);
    parts->bridge = std::make_unique<AlpacaWindowBridge>(window, parts->state);
    parts->http.start();
    qDebug() << "Alpaca server: " << listenText;
    parts->discovery = std::make_unique<DiscoveryService>(settings.discoveryPort, parts->http.port(), !settings.network);
    if (parts->discovery->port() != 0)
        qDebug() << "Alpaca discovery port: " << parts->discovery->port();
    return std::unique_ptr<AlpacaService>(new AlpacaService(std::move(parts)));
}

std::unique_ptr<AlpacaService> startAlpacaServer(VelmoraFlat &window)
{
    QSettings store;
    return AlpacaService::start(window, alpaca::readSettings(store));
}
