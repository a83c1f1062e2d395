// libFuzzer target: arbitrary bytes as an HTTP request to the Alpaca server's HTTP side on loopback, answered by
// the request-to-reply layer over an arbitrary panel state. Input: one state byte, then the request's bytes.
// Checks that every reply is well formed, that commands only come with a successful, allowed request, and that
// the server answers or closes every connection.
#include "alpacaprotocol.h"
#include "httpfront.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstdint>

using namespace alpaca;

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

DeviceSnapshot stateFrom(std::uint8_t bits)
{
    DeviceSnapshot s;
    s.boxConnected = bits & 1;
    s.lampSwitchedOn = bits & 2;
    s.lampLit = bits & 4;
    s.lastCommandFailed = bits & 8;
    s.pendingCommands = (bits & 16) ? 1 : 0;
    if (bits & 32) {
        s.connectingClients.insert(0);
        s.failedConnects.insert(1, QStringLiteral("Flat box serial port not found"));
    }
    if (bits & 64)
        s.connectedClients.insert(0);
    s.dialogOpen = bits & 128;
    s.dialogTitle = QStringLiteral("Connection Error");
    s.brightness = bits & 128 ? 255 : 0;
    s.timestamp = QDateTime::fromSecsSinceEpoch(0, Qt::UTC);
    return s;
}

ServerContext context()
{
    ServerContext c;
    c.serverName = c.deviceName = QStringLiteral("VELMORA Flat Box");
    c.allowedHosts = QStringList{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("[::1]")};
    c.settings.uniqueId = QStringLiteral("0b5f3f0e-52c6-4d8a-9c1e-2d9b0c9e6a11");
    return c;
}

void check(const Request &request, const Reply &reply, const ServerContext &server)
{
    require(reply.status == 200 || reply.status == 400 || reply.status == 403);
    require(!reply.body.isEmpty() && !reply.contentType.isEmpty());
    if (!request.host.isEmpty() && !hostAllowed(request.host, server.allowedHosts))
        require(reply.status == 403);
    if (reply.status != 200)
        require(reply.command.kind == Command::None);
    if (reply.contentType == "application/json") {
        QJsonParseError error{};
        const QJsonObject object = QJsonDocument::fromJson(reply.body, &error).object();
        require(error.error == QJsonParseError::NoError);
        require(object.value(QStringLiteral("ServerTransactionID")).toInt() == 77);
        require(object.value(QStringLiteral("ClientTransactionID")).toDouble(-1) >= 0);
        const int number = object.value(QStringLiteral("ErrorNumber")).toInt(-1);
        require(number == 0 || (number >= 0x400 && number <= 0xFFF));
        require(object.value(QStringLiteral("ErrorMessage")).toString().isEmpty() == (number == 0));
        if (number != 0)
            require(reply.command.kind == Command::None);
    }
    if (reply.command.kind == Command::CalibratorOn)
        require(reply.command.brightness >= 0 && reply.command.brightness <= maxBrightness);
    if (reply.command.kind == Command::CalibratorOn || reply.command.kind == Command::CalibratorOff)
        require(request.method == "PUT");
}

std::atomic<std::uint8_t> stateBits{0};

// The server for the whole run: a connect that waits for its outcome is answered later, as the panel does.
HttpFront &server()
{
    static ServerContext serverContext = context();
    static HttpFront front([](const Request &request, const HttpFront::Later &later) -> std::optional<Reply> {
        const Reply reply = respond(request, stateFrom(stateBits), serverContext, 77);
        check(request, reply, serverContext);
        if (reply.command.kind == Command::ConnectBox && reply.command.waitForOutcome) {
            later(outcomeReply(request, 77, false, QStringLiteral("Flat box serial port not found")));
            return std::nullopt;
        }
        return reply;
    });
    static const bool started = [] {
        require(front.bindAll(false, 0));
        serverContext.httpPort = front.port();
        front.start();
        return true;
    }();
    (void)started;
    return front;
}

// With the server at its connection limit the listen queue fills and connect waits for a free slot; libFuzzer's
// time-out alarm may interrupt that wait, and the connection then goes on by itself.
bool connectTo(int fd, const sockaddr_in &address)
{
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) == 0)
        return true;
    if (errno != EINTR)
        return false;
    pollfd ready{fd, POLLOUT, 0};
    int count = 0;
    while ((count = poll(&ready, 1, 9000)) < 0 && errno == EINTR) {
    }
    int error = 0;
    socklen_t length = sizeof(error);
    return count == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0 || size > 64 * 1024)
        return 0;
    const int port = server().port();
    stateBits = data[0];
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval limit{8, 0}; // beyond the server's time for headers: it must close a connection by then
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    require(connectTo(fd, address));
    [[maybe_unused]] const ssize_t sent = ::send(fd, data + 1, size - 1, MSG_NOSIGNAL);
    // The end of the request comes a moment later, as from a client that is done: the server sees it by itself.
    pollfd answer{fd, POLLIN, 0};
    poll(&answer, 1, 20);
    ::shutdown(fd, SHUT_WR);
    char buffer[4096];
    ssize_t got = 0;
    // libFuzzer's time-out alarm may interrupt the wait: that is no answer yet.
    while ((got = ::recv(fd, buffer, sizeof(buffer), 0)) > 0 || (got < 0 && errno == EINTR)) {
    }
    require(got == 0 || errno == ECONNRESET); // answered and closed, never left hanging
    ::close(fd);
    return 0;
}
