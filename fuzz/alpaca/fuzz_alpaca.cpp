// libFuzzer target: the Alpaca request-to-reply layer with arbitrary requests over arbitrary panel states.
// Input: one state byte, then lines "METHOD PATH", form or query text, Host, Origin. Checks that every reply is
// well formed and that commands only come with a successful, allowed request.
#include "alpacaprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

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
    s.connecting = bits & 32;
    if (bits & 64)
        s.connectedClients.insert(0);
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0 || size > 4096)
        return 0;
    const QList<QByteArray> lines = QByteArray(reinterpret_cast<const char *>(data) + 1, int(size - 1)).split('\n');
    Request request;
    const QByteArray first = lines.value(0);
    request.method = first.left(first.indexOf(' '));
    request.path = first.mid(first.indexOf(' ') + 1);
    for (const auto &item : QUrlQuery(QString::fromUtf8(lines.value(1))).queryItems(QUrl::FullyDecoded))
        request.params.append(item);
    request.host = lines.value(2);
    request.hasOrigin = lines.size() > 3;
    request.origin = lines.value(3);

    static const ServerContext server = context();
    const Reply reply = respond(request, stateFrom(data[0]), server, 77);
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
    return 0;
}
