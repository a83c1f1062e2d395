// The Alpaca request-to-reply layer over a given panel state: paths, parameters, errors, state mapping, commands.
#include "alpacaprotocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <QtTest>

using namespace alpaca;

Q_DECLARE_METATYPE(alpaca::Command::Kind)

namespace {

const quint32 client = 7;

DeviceSnapshot stateNamed(const QString &name)
{
    DeviceSnapshot s;
    s.timestamp = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), Qt::UTC);
    if (name.startsWith(QLatin1String("dialog open"))) {
        s.dialogOpen = true;
        s.dialogTitle = QStringLiteral("Connection Error");
    }
    if (name.startsWith(QLatin1String("no box")) || name == QLatin1String("dialog open, no box"))
        return s;
    s.boxConnected = true;
    if (name != QLatin1String("client not connected"))
        s.connectedClients.insert(client);
    if (name == QLatin1String("lit") || name == QLatin1String("refused") || name == QLatin1String("pending")) {
        s.lampSwitchedOn = s.lampLit = true;
        s.brightness = 80;
    }
    s.lastCommandFailed = name == QLatin1String("refused");
    s.pendingCommands = name == QLatin1String("pending") ? 1 : 0;
    s.lampSwitchedOn |= name == QLatin1String("switch-on failed");
    s.lampLit |= name == QLatin1String("switch-off failed");
    if (name == QLatin1String("connecting"))
        s.connectingClients.insert(client);
    if (name == QLatin1String("connect failed")) {
        s.boxConnected = false;
        s.connectedClients.clear();
        s.failedConnects.insert(client, QStringLiteral("Flat box serial port not found"));
    }
    return s;
}

ServerContext context()
{
    ServerContext c;
    c.serverName = c.deviceName = QStringLiteral("VELMORA Flat Box");
    c.manufacturer = QStringLiteral("VELMORA");
    c.version = QStringLiteral("0.3.0.0");
    c.location = QStringLiteral("observatory");
    c.allowedHosts = QStringList{QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("[::1]")};
    c.settings.uniqueId = QStringLiteral("0b5f3f0e-52c6-4d8a-9c1e-2d9b0c9e6a11");
    c.httpPort = 11111;
    return c;
}

Request request(const QString &line, const QString &params, const QByteArray &host, const QByteArray &origin)
{
    Request r;
    r.method = line.section(QLatin1Char(' '), 0, 0).toLatin1();
    r.path = line.section(QLatin1Char(' '), 1).toLatin1();
    for (const auto &item : QUrlQuery(params).queryItems(QUrl::FullyDecoded))
        r.params.append(item);
    r.host = host;
    r.hasOrigin = !origin.isEmpty();
    r.origin = origin == "-" ? QByteArray() : origin;
    return r;
}

} // namespace

class AlpacaProtocolTest : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void transactionIds();
    void deviceStateListsEveryOperationalValue();
    void setupStoresWhatTheFormSays();
};

void AlpacaProtocolTest::replies_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("params");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QByteArray>("origin");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("error");     // ErrorNumber, -1 for a plain-text reply
    QTest::addColumn<QString>("value"); // the JSON of Value, "" for none
    QTest::addColumn<alpaca::Command::Kind>("command");

    const QString dev = QStringLiteral("/api/v1/covercalibrator/0/");
    const QString id = QStringLiteral("ClientID=7");
    const QByteArray local("127.0.0.1:11111");
    auto row = [&](const char *name, const QString &line, const QString &params, const char *state, int status,
                   int error, const QString &value, Command::Kind command = Command::None,
                   const QByteArray &host = QByteArray("localhost:11111"), const QByteArray &origin = QByteArray()) {
        QTest::newRow(name) << line << params << QString::fromLatin1(state) << host << origin << status << error
                            << value << command;
    };
    // Common members.
    row("connected true", "GET " + dev + "connected", id, "lit", 200, 0, "true");
    row("connected, other client", "GET " + dev + "connected", "ClientID=8", "lit", 200, 0, "false");
    row("connected, box lost", "GET " + dev + "connected", id, "no box", 200, 0, "false");
    row("connecting", "GET " + dev + "connecting", id, "connecting", 200, 0, "true");
    row("connecting, other client", "GET " + dev + "connecting", "ClientID=8", "connecting", 200, 0, "false");
    row("connecting after a failed connect", "GET " + dev + "connecting", id, "connect failed", 200, 0x500, "");
    row("connecting after another's failed connect", "GET " + dev + "connecting", "ClientID=8", "connect failed",
        200, 0, "false");
    row("interfaceversion", "GET " + dev + "interfaceversion", "", "no box", 200, 0, "2");
    row("driverversion", "GET " + dev + "driverversion", "", "no box", 200, 0, "\"0.3.0.0\"");
    row("name", "GET " + dev + "name", "", "no box", 200, 0, "\"VELMORA Flat Box\"");
    row("supportedactions", "GET " + dev + "supportedactions", "", "no box", 200, 0, "[]");
    row("put connected true, box there", "PUT " + dev + "connected", "Connected=true&" + id, "client not connected",
        200, 0, "", Command::ConnectClient);
    row("put connected true, no box", "PUT " + dev + "connected", "Connected=True&" + id, "no box", 200, 0, "",
        Command::ConnectBox);
    row("put connected false", "PUT " + dev + "connected", "Connected=false&" + id, "lit", 200, 0, "",
        Command::DisconnectClient);
    row("put connected not a flag", "PUT " + dev + "connected", "Connected=yes", "lit", 400, -1, "");
    row("put connected miscased", "PUT " + dev + "connected", "connected=true", "lit", 400, -1, "");
    row("connect, no box", "PUT " + dev + "connect", id, "no box", 200, 0, "", Command::ConnectBox);
    row("disconnect", "PUT " + dev + "disconnect", id, "lit", 200, 0, "", Command::DisconnectClient);
    row("action", "PUT " + dev + "action", "Action=x&Parameters=", "lit", 200, 0x40C, "");
    row("commandblind", "PUT " + dev + "commandblind", "Command=x&Raw=true", "lit", 200, 0x400, "");
    // The calibrator and the missing cover.
    row("brightness", "GET " + dev + "brightness", id, "lit", 200, 0, "80");
    row("brightness, lower-case parameter", "GET " + dev + "brightness", "clientid=7", "lit", 200, 0, "80");
    row("brightness, box lost", "GET " + dev + "brightness", id, "no box", 200, 0x407, "");
    row("brightness, client not connected", "GET " + dev + "brightness", id, "client not connected", 200, 0x407, "");
    row("maxbrightness", "GET " + dev + "maxbrightness", id, "lit", 200, 0, "255");
    row("state off", "GET " + dev + "calibratorstate", id, "connected", 200, 0, "1");
    row("state not ready", "GET " + dev + "calibratorstate", id, "pending", 200, 0, "2");
    row("state ready", "GET " + dev + "calibratorstate", id, "lit", 200, 0, "3");
    row("state error, lamp did not light", "GET " + dev + "calibratorstate", id, "switch-on failed", 200, 0, "5");
    row("state error, lamp did not go out", "GET " + dev + "calibratorstate", id, "switch-off failed", 200, 0, "5");
    row("state error, level refused", "GET " + dev + "calibratorstate", id, "refused", 200, 0, "5");
    row("changing while pending", "GET " + dev + "calibratorchanging", id, "pending", 200, 0, "true");
    row("coverstate", "GET " + dev + "coverstate", id, "lit", 200, 0, "0");
    row("covermoving", "GET " + dev + "covermoving", id, "lit", 200, 0, "false");
    row("calibratoron", "PUT " + dev + "calibratoron", "Brightness=128&" + id, "connected", 200, 0, "",
        Command::CalibratorOn);
    row("calibratoron 0 and 255 are levels", "PUT " + dev + "calibratoron", "Brightness=255&" + id, "connected", 200,
        0, "", Command::CalibratorOn);
    row("calibratoron 256", "PUT " + dev + "calibratoron", "Brightness=256&" + id, "connected", 200, 0x401, "");
    row("calibratoron -1", "PUT " + dev + "calibratoron", "Brightness=-1&" + id, "connected", 200, 0x401, "");
    row("calibratoron huge", "PUT " + dev + "calibratoron", "Brightness=99999999999999999999&" + id, "connected",
        200, 0x401, "");
    row("calibratoron, box lost", "PUT " + dev + "calibratoron", "Brightness=5&" + id, "no box", 200, 0x407, "");
    row("calibratoron miscased field", "PUT " + dev + "calibratoron", "bRIGHTNESS=5&" + id, "connected", 400, -1, "");
    row("calibratoron missing field", "PUT " + dev + "calibratoron", id, "connected", 400, -1, "");
    row("calibratoron not a number", "PUT " + dev + "calibratoron", "Brightness=12.5&" + id, "connected", 400, -1, "");
    row("calibratoron empty", "PUT " + dev + "calibratoron", "Brightness=&" + id, "connected", 400, -1, "");
    row("calibratoroff", "PUT " + dev + "calibratoroff", id, "lit", 200, 0, "", Command::CalibratorOff);
    row("calibratoroff, box lost", "PUT " + dev + "calibratoroff", id, "no box", 200, 0x407, "");
    row("opencover", "PUT " + dev + "opencover", id, "lit", 200, 0x400, "");
    // A dialog of the panel waits for the user: commands that need the window are refused, the rest go on.
    row("calibratoron, dialog open", "PUT " + dev + "calibratoron", "Brightness=9&" + id, "dialog open", 200, 0x40B, "");
    row("calibratoroff, dialog open", "PUT " + dev + "calibratoroff", id, "dialog open", 200, 0x40B, "");
    row("connect, dialog open", "PUT " + dev + "connect", id, "dialog open, no box", 200, 0x40B, "");
    row("connected true, dialog open", "PUT " + dev + "connected", "Connected=true&" + id, "dialog open, no box",
        200, 0x40B, "");
    row("connected true of a box there, dialog open", "PUT " + dev + "connected", "Connected=true&" + id,
        "dialog open", 200, 0, "", Command::ConnectClient);
    row("disconnect, dialog open", "PUT " + dev + "disconnect", id, "dialog open", 200, 0, "",
        Command::DisconnectClient);
    row("read, dialog open", "GET " + dev + "calibratorstate", id, "dialog open", 200, 0, "1");
    // Requests that cannot be understood.
    row("device number 1", "GET /api/v1/covercalibrator/1/brightness", id, "lit", 400, -1, "");
    row("upper-case member", "GET " + dev + "Brightness", id, "lit", 400, -1, "");
    row("upper-case device type", "GET /api/v1/CoverCalibrator/0/brightness", id, "lit", 400, -1, "");
    row("unknown member", "GET " + dev + "temperature", id, "lit", 400, -1, "");
    row("GET of a command", "GET " + dev + "calibratoron", id, "lit", 400, -1, "");
    row("PUT of a property", "PUT " + dev + "brightness", id, "lit", 400, -1, "");
    row("extra path element", "GET " + dev + "brightness/x", id, "lit", 400, -1, "");
    row("root", "GET /", "", "lit", 400, -1, "");
    // Management and setup.
    row("apiversions", "GET /management/apiversions", "", "no box", 200, 0, "[1]");
    row("description", "GET /management/v1/description", "", "no box", 200, 0,
        R"({"Location":"observatory","Manufacturer":"VELMORA","ManufacturerVersion":"0.3.0.0","ServerName":"VELMORA Flat Box"})");
    row("configureddevices", "GET /management/v1/configureddevices", "", "no box", 200, 0,
        R"([{"DeviceName":"VELMORA Flat Box","DeviceNumber":0,"DeviceType":"CoverCalibrator","UniqueID":"0b5f3f0e-52c6-4d8a-9c1e-2d9b0c9e6a11"}])");
    row("setup page", "GET /setup", "", "no box", 200, -1, "");
    row("setup saved", "POST /setup/v1/covercalibrator/0/setup", "enabled=true&port=11112&discovery_port=32227",
        "no box", 200, -1, "", Command::StoreSettings);
    row("setup bad port", "POST /setup/v1/covercalibrator/0/setup", "port=70000", "no box", 400, -1, "");
    row("setup bad flag", "POST /setup/v1/covercalibrator/0/setup", "network=yes", "no box", 400, -1, "");
    // Other sites and rebound names.
    row("host with port", "GET /management/apiversions", "", "lit", 200, 0, "[1]", Command::None, local);
    row("host IPv6", "GET /management/apiversions", "", "lit", 200, 0, "[1]", Command::None, "[::1]:11111");
    row("host name without port", "GET /management/apiversions", "", "lit", 200, 0, "[1]", Command::None, "LOCALHOST");
    row("host of another name", "GET /management/apiversions", "", "lit", 403, -1, "", Command::None, "evil.example");
    row("host lookalike", "GET /management/apiversions", "", "lit", 403, -1, "", Command::None, "localhost.evil:80");
    row("host with a bad port", "GET /management/apiversions", "", "lit", 403, -1, "", Command::None, "localhost:x");
    row("PUT from this server's page", "PUT " + dev + "calibratoroff", id, "lit", 200, 0, "", Command::CalibratorOff,
        local, "http://localhost:11111");
    row("PUT from another site", "PUT " + dev + "calibratoroff", id, "lit", 403, -1, "", Command::None, local,
        "http://evil.example");
    row("PUT from another server of this computer", "PUT " + dev + "calibratoroff", id, "lit", 403, -1, "",
        Command::None, local, "http://localhost:8080");
    row("PUT from this server's name over https", "PUT " + dev + "calibratoroff", id, "lit", 403, -1, "",
        Command::None, local, "https://localhost:11111");
    row("PUT from this server's page on IPv6", "PUT " + dev + "calibratoroff", id, "lit", 200, 0, "",
        Command::CalibratorOff, "[::1]:11111", "http://[::1]:11111");
    row("PUT from an origin without port", "PUT " + dev + "calibratoroff", id, "lit", 403, -1, "", Command::None,
        local, "http://localhost");
    row("PUT from an opaque origin", "PUT " + dev + "calibratoroff", id, "lit", 403, -1, "", Command::None, local,
        "null");
    row("POST of settings from another site", "POST /setup/v1/covercalibrator/0/setup", "port=1", "lit", 403, -1, "",
        Command::None, local, "http://evil.example");
}

void AlpacaProtocolTest::replies()
{
    QFETCH(QString, line);
    QFETCH(QString, params);
    QFETCH(QString, state);
    QFETCH(QByteArray, host);
    QFETCH(QByteArray, origin);
    QFETCH(int, status);
    QFETCH(int, error);
    QFETCH(QString, value);
    QFETCH(alpaca::Command::Kind, command);

    const Reply reply = respond(request(line, params, host, origin), stateNamed(state), context(), 41);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.command.kind, command);
    if (error < 0) {
        QVERIFY2(!reply.contentType.startsWith("application/json"), reply.contentType.constData());
        QVERIFY(!reply.body.isEmpty());
        return;
    }
    QCOMPARE(reply.contentType, QByteArray("application/json"));
    const QJsonObject object = QJsonDocument::fromJson(reply.body).object();
    QCOMPARE(object.value(QStringLiteral("ErrorNumber")).toInt(-1), error);
    QCOMPARE(object.value(QStringLiteral("ErrorMessage")).toString().isEmpty(), error == 0);
    QCOMPARE(object.value(QStringLiteral("ServerTransactionID")).toInt(), 41);
    const QJsonValue got = object.value(QStringLiteral("Value"));
    const QString gotText = got.isUndefined() ? QString()
                                              : QString::fromUtf8(QJsonDocument(QJsonArray{got}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
    QCOMPARE(gotText, value);
}

void AlpacaProtocolTest::transactionIds()
{
    const QString path = QStringLiteral("/api/v1/covercalibrator/0/");
    const QList<QPair<QString, qint64>> cases{{"GET " + path + "name?clienttransactionid=12", 12},
                                              {"GET " + path + "name?ClientTransactionID=4294967295", 4294967295},
                                              {"GET " + path + "name?ClientTransactionID=abc", 0},
                                              {"GET " + path + "name", 0},
                                              {"PUT " + path + "disconnect?ClientTransactionID=9", 9},
                                              {"PUT " + path + "disconnect?clienttransactionid=9", 0}};
    for (const auto &c : cases) {
        const QString params = c.first.section(QLatin1Char('?'), 1);
        const Reply reply = respond(request(c.first.section(QLatin1Char('?'), 0, 0), params, "localhost", ""),
                                    stateNamed(QStringLiteral("lit")), context(), 3);
        const QJsonObject object = QJsonDocument::fromJson(reply.body).object();
        QCOMPARE(object.value(QStringLiteral("ClientTransactionID")).toVariant().toLongLong(), c.second);
    }
}

void AlpacaProtocolTest::deviceStateListsEveryOperationalValue()
{
    const Reply reply = respond(request("GET /api/v1/covercalibrator/0/devicestate", "ClientID=7", "localhost", ""),
                                stateNamed(QStringLiteral("pending")), context(), 1);
    const QByteArray expected =
        R"([{"Name":"Brightness","Value":80},{"Name":"CalibratorState","Value":2},)"
        R"({"Name":"CalibratorChanging","Value":true},{"Name":"CoverState","Value":0},)"
        R"({"Name":"CoverMoving","Value":false},{"Name":"TimeStamp","Value":"2026-01-02T03:04:05.000Z"}])";
    QCOMPARE(QJsonDocument(QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("Value")).toArray())
                 .toJson(QJsonDocument::Compact),
             expected);
}

// The page's form leaves unchecked boxes out; a client posting one field changes only that field.
void AlpacaProtocolTest::setupStoresWhatTheFormSays()
{
    const QList<QPair<QString, QVector<int>>> cases{{"form=setup&port=2000", {0, 2000, 0}},
                                                    {"form=setup&enabled=true&network=true", {1, 11111, 1}},
                                                    {"port=2000", {1, 2000, 0}},
                                                    {"network=true", {1, 11111, 1}}};
    ServerContext c = context();
    c.settings.port = 11111;
    for (const auto &row : cases) {
        const Reply reply = respond(request("POST /setup/v1/covercalibrator/0/setup", row.first, "localhost", ""),
                                    stateNamed(QStringLiteral("no box")), c, 1);
        const Settings &s = reply.command.settings;
        QCOMPARE((QVector<int>{s.enabled, s.port, s.network}), row.second);
        QCOMPARE(s.uniqueId, c.settings.uniqueId);
    }
}

QTEST_GUILESS_MAIN(AlpacaProtocolTest)
#include "tst_alpacaprotocol.moc"
