#include "alpacaprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUrl>

namespace alpaca {

CalibratorState calibratorState(const DeviceSnapshot &state)
{
    if (state.pendingCommands > 0)
        return CalibratorState::NotReady;
    // Checked but not lit: the three attempts failed. Unchecked but lit: the lamp did not go out.
    if (state.lampSwitchedOn != state.lampLit || state.lastCommandFailed)
        return CalibratorState::Error;
    return state.lampSwitchedOn ? CalibratorState::Ready : CalibratorState::Off;
}

namespace {

const QByteArray jsonType("application/json");
const QByteArray textType("text/plain; charset=utf-8");
const QByteArray htmlType("text/html; charset=utf-8");

Reply plainReply(int status, const QString &text)
{
    Reply reply;
    reply.status = status;
    reply.contentType = textType;
    reply.body = text.toUtf8();
    return reply;
}

Reply badRequest(const QString &reason)
{
    return plainReply(400, reason);
}

// Looks a parameter up: GET parameter names in any case, PUT form fields only as the standard spells them.
struct Params
{
    const QList<QPair<QString, QString>> &list;
    bool exactCase;

    const QString *find(const QString &name) const
    {
        for (const auto &param : list)
            if (param.first.compare(name, exactCase ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0)
                return &param.second;
        return nullptr;
    }
    // A form field that names `name` in another case: the client misspelt it.
    bool miscased(const QString &name) const
    {
        if (!exactCase)
            return false;
        for (const auto &param : list)
            if (param.first != name && param.first.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    }
};

// ClientID and ClientTransactionID are unsigned 32-bit numbers; anything else counts as absent.
quint32 unsignedParam(const Params &params, const QString &name)
{
    const QString *text = params.find(name);
    if (!text)
        return 0;
    bool ok = false;
    const quint32 value = text->trimmed().toUInt(&ok);
    return ok ? value : 0;
}

struct Transaction
{
    quint32 client = 0;
    quint32 server = 0;
};

Reply jsonReply(const Transaction &transaction, const QJsonValue &value, int error = NoError,
                const QString &message = QString())
{
    QJsonObject object;
    if (error == NoError && !value.isUndefined())
        object.insert(QStringLiteral("Value"), value);
    object.insert(QStringLiteral("ClientTransactionID"), qint64(transaction.client));
    object.insert(QStringLiteral("ServerTransactionID"), qint64(transaction.server));
    object.insert(QStringLiteral("ErrorNumber"), error);
    object.insert(QStringLiteral("ErrorMessage"), error == NoError ? QString() : message);
    Reply reply;
    reply.contentType = jsonType;
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return reply;
}

Reply errorReply(const Transaction &transaction, int error, const QString &message)
{
    return jsonReply(transaction, QJsonValue(QJsonValue::Undefined), error, message);
}

struct Call
{
    const Request &request;
    const DeviceSnapshot &state;
    const ServerContext &context;
    Params params;
    Transaction transaction;
    quint32 clientId;

    bool clientConnected() const { return state.boxConnected && state.connectedClients.contains(clientId); }
    Reply value(const QJsonValue &v) const { return jsonReply(transaction, v); }
    Reply done() const { return jsonReply(transaction, QJsonValue(QJsonValue::Undefined)); }
    Reply error(int number, const QString &message) const { return errorReply(transaction, number, message); }
    Reply notConnected() const
    {
        return error(NotConnected, state.boxConnected ? QStringLiteral("The client is not connected")
                                                      : QStringLiteral("No flat box is connected"));
    }
};

enum class Verb { Get, Put };

struct Member
{
    const char *name;
    Verb verb;
    bool needsConnection;
    Reply (*handle)(Call &);
};

QJsonArray deviceStateList(const Call &call)
{
    const DeviceSnapshot &s = call.state;
    const CalibratorState calibrator = calibratorState(s);
    auto item = [](const char *name, const QJsonValue &value) {
        return QJsonObject{{QStringLiteral("Name"), QLatin1String(name)}, {QStringLiteral("Value"), value}};
    };
    return QJsonArray{item("Brightness", s.brightness),
                      item("CalibratorState", int(calibrator)),
                      item("CalibratorChanging", calibrator == CalibratorState::NotReady),
                      item("CoverState", coverNotPresent),
                      item("CoverMoving", false),
                      item("TimeStamp", s.timestamp.toUTC().toString(Qt::ISODateWithMs))};
}

// A form field that a PUT needs, spelt as the standard spells it; null with `refusal` set otherwise.
const QString *requiredField(const Call &call, const QString &name, Reply &refusal)
{
    if (call.params.miscased(name)) {
        refusal = badRequest(QStringLiteral("The form field is spelt ") + name);
        return nullptr;
    }
    const QString *text = call.params.find(name);
    if (!text)
        refusal = badRequest(QStringLiteral("Missing form field ") + name);
    return text;
}

Reply putConnected(Call &call)
{
    Reply refusal;
    const QString *text = requiredField(call, QStringLiteral("Connected"), refusal);
    if (!text)
        return refusal;
    const QString flag = text->trimmed().toLower();
    if (flag != QLatin1String("true") && flag != QLatin1String("false"))
        return badRequest(QStringLiteral("Connected must be true or false"));
    Reply reply = call.done();
    if (flag == QLatin1String("false")) {
        reply.command.kind = Command::DisconnectClient;
    } else {
        reply.command.kind = call.state.boxConnected ? Command::ConnectClient : Command::ConnectBox;
        reply.command.waitForOutcome = reply.command.kind == Command::ConnectBox;
    }
    reply.command.clientId = call.clientId;
    return reply;
}

Reply putConnect(Call &call)
{
    Reply reply = call.done();
    reply.command.kind = call.state.boxConnected ? Command::ConnectClient : Command::ConnectBox;
    reply.command.clientId = call.clientId;
    return reply;
}

Reply putDisconnect(Call &call)
{
    Reply reply = call.done();
    reply.command.kind = Command::DisconnectClient;
    reply.command.clientId = call.clientId;
    return reply;
}

Reply putCalibratorOn(Call &call)
{
    Reply refusal;
    const QString *text = requiredField(call, QStringLiteral("Brightness"), refusal);
    if (!text)
        return refusal;
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    const QString trimmed = text->trimmed();
    if (!wholeNumber.match(trimmed).hasMatch())
        return badRequest(QStringLiteral("Brightness must be a whole number"));
    if (!call.clientConnected())
        return call.notConnected();
    bool fits = false;
    const qlonglong level = trimmed.toLongLong(&fits);
    if (!fits || level < 0 || level > maxBrightness)
        return call.error(InvalidValue, QStringLiteral("Brightness %1 is outside 0 to %2").arg(trimmed).arg(maxBrightness));
    Reply reply = call.done();
    reply.command.kind = Command::CalibratorOn;
    reply.command.brightness = int(level);
    return reply;
}

Reply putCalibratorOff(Call &call)
{
    Reply reply = call.done();
    reply.command.kind = Command::CalibratorOff;
    return reply;
}

// The completion property of the asynchronous connect: true while the client's connect searches; the reason
// of a failed connect until the client connects or disconnects again.
Reply connecting(Call &call)
{
    const auto failed = call.state.failedConnects.constFind(call.clientId);
    if (failed != call.state.failedConnects.constEnd())
        return call.error(DriverError, QStringLiteral("The connect failed: ") + failed.value());
    return call.value(call.state.connectingClients.contains(call.clientId));
}

// Commands that the window's thread carries out; they wait for no dialog.
bool drivesTheWindow(const Command &command)
{
    return command.kind == Command::CalibratorOn || command.kind == Command::CalibratorOff
           || command.kind == Command::ConnectBox;
}

Reply noCover(Call &call)
{
    return call.error(NotImplemented, QStringLiteral("This flat box has no cover"));
}

Reply noAction(Call &call)
{
    return call.error(ActionNotImplemented, QStringLiteral("This device supports no actions"));
}

Reply noCommands(Call &call)
{
    return call.error(NotImplemented, QStringLiteral("This device takes no raw commands"));
}

const Member members[] = {
    {"connected", Verb::Get, false, [](Call &c) { return c.value(c.clientConnected()); }},
    {"connecting", Verb::Get, false, connecting},
    {"description", Verb::Get, false, [](Call &c) { return c.value(c.context.description); }},
    {"devicestate", Verb::Get, true, [](Call &c) { return c.value(deviceStateList(c)); }},
    {"driverinfo", Verb::Get, false, [](Call &c) { return c.value(c.context.driverInfo); }},
    {"driverversion", Verb::Get, false, [](Call &c) { return c.value(c.context.version); }},
    {"interfaceversion", Verb::Get, false, [](Call &c) { return c.value(interfaceVersion); }},
    {"name", Verb::Get, false, [](Call &c) { return c.value(c.context.deviceName); }},
    {"supportedactions", Verb::Get, false, [](Call &c) { return c.value(QJsonArray()); }},
    {"brightness", Verb::Get, true, [](Call &c) { return c.value(c.state.brightness); }},
    {"maxbrightness", Verb::Get, true, [](Call &c) { return c.value(maxBrightness); }},
    {"calibratorstate", Verb::Get, true, [](Call &c) { return c.value(int(calibratorState(c.state))); }},
    {"calibratorchanging", Verb::Get, true,
     [](Call &c) { return c.value(calibratorState(c.state) == CalibratorState::NotReady); }},
    {"coverstate", Verb::Get, true, [](Call &c) { return c.value(coverNotPresent); }},
    {"covermoving", Verb::Get, true, [](Call &c) { return c.value(false); }},
    {"connected", Verb::Put, false, putConnected},
    {"connect", Verb::Put, false, putConnect},
    {"disconnect", Verb::Put, false, putDisconnect},
    {"action", Verb::Put, false, noAction},
    {"commandblind", Verb::Put, false, noCommands},
    {"commandbool", Verb::Put, false, noCommands},
    {"commandstring", Verb::Put, false, noCommands},
    {"calibratoron", Verb::Put, false, putCalibratorOn},
    {"calibratoroff", Verb::Put, true, putCalibratorOff},
    {"opencover", Verb::Put, false, noCover},
    {"closecover", Verb::Put, false, noCover},
    {"haltcover", Verb::Put, false, noCover},
};

Reply deviceCall(const Request &request, const QList<QByteArray> &parts, const DeviceSnapshot &state,
                 const ServerContext &context, quint32 serverTransactionId)
{
    // parts: "", "api", "v1", "covercalibrator", "<device number>", "<member>"
    if (parts.size() != 6)
        return badRequest(QStringLiteral("Unknown path"));
    if (parts.at(2) != "v1")
        return badRequest(QStringLiteral("Unknown API version"));
    if (parts.at(3) != "covercalibrator")
        return badRequest(QStringLiteral("Unknown device type"));
    if (parts.at(4) != "0")
        return badRequest(QStringLiteral("Unknown device number"));

    const Verb verb = request.method == "GET" ? Verb::Get : Verb::Put;
    if (request.method != "GET" && request.method != "PUT")
        return badRequest(QStringLiteral("Only GET and PUT are used here"));
    const Member *found = nullptr;
    bool otherVerb = false;
    for (const Member &member : members) {
        if (parts.at(5) != member.name)
            continue;
        if (member.verb == verb)
            found = &member;
        else
            otherVerb = true;
    }
    if (!found)
        return badRequest(otherVerb ? QStringLiteral("Wrong method for this member") : QStringLiteral("Unknown member"));

    Params params{request.params, verb == Verb::Put};
    Call call{request, state, context, params,
              Transaction{unsignedParam(params, QStringLiteral("ClientTransactionID")), serverTransactionId},
              unsignedParam(params, QStringLiteral("ClientID"))};
    if (found->needsConnection && !call.clientConnected())
        return call.notConnected();
    Reply reply = found->handle(call);
    if (drivesTheWindow(reply.command) && state.dialogOpen)
        return call.error(InvalidOperation, dialogRefusal(state.dialogTitle));
    if (reply.command.kind != Command::None && reply.command.kind != Command::StoreSettings)
        reply.command.clientId = call.clientId;
    return reply;
}

Reply management(const Request &request, const QList<QByteArray> &parts, const ServerContext &context,
                 quint32 serverTransactionId)
{
    if (request.method != "GET")
        return badRequest(QStringLiteral("Only GET is used here"));
    const Params params{request.params, false};
    const Transaction transaction{unsignedParam(params, QStringLiteral("ClientTransactionID")), serverTransactionId};
    const QByteArray what = parts.mid(2).join('/');
    if (what == "apiversions")
        return jsonReply(transaction, QJsonArray{1});
    if (what == "v1/description")
        return jsonReply(transaction, QJsonObject{{QStringLiteral("ServerName"), context.serverName},
                                                  {QStringLiteral("Manufacturer"), context.manufacturer},
                                                  {QStringLiteral("ManufacturerVersion"), context.version},
                                                  {QStringLiteral("Location"), context.location}});
    if (what == "v1/configureddevices")
        return jsonReply(transaction, QJsonArray{QJsonObject{{QStringLiteral("DeviceName"), context.deviceName},
                                                             {QStringLiteral("DeviceType"), QStringLiteral("CoverCalibrator")},
                                                             {QStringLiteral("DeviceNumber"), 0},
                                                             {QStringLiteral("UniqueID"), context.settings.uniqueId}}});
    return badRequest(QStringLiteral("Unknown management path"));
}

QString statusText(const DeviceSnapshot &state)
{
    if (!state.boxConnected)
        return QStringLiteral("no flat box connected");
    switch (calibratorState(state)) {
    case CalibratorState::Off: return QStringLiteral("connected, lamp off");
    case CalibratorState::NotReady: return QStringLiteral("connected, a command is under way");
    case CalibratorState::Ready: return QStringLiteral("connected, lamp on at brightness %1").arg(state.brightness);
    default: return QStringLiteral("connected, lamp in error");
    }
}

QByteArray setupPage(const DeviceSnapshot &state, const ServerContext &context, const QString &note)
{
    const Settings &s = context.settings;
    auto checked = [](bool on) { return on ? QStringLiteral(" checked") : QString(); };
    const QString page =
        QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head><body>"
                       "<h1>%1</h1><p>Alpaca server at %2</p><p>Flat box: %3</p>%4"
                       "<form method=\"post\" action=\"/setup/v1/covercalibrator/0/setup\">"
                       "<input type=\"hidden\" name=\"form\" value=\"setup\">"
                       "<p><label><input type=\"checkbox\" name=\"enabled\" value=\"true\"%5> Server enabled</label></p>"
                       "<p><label>HTTP port <input type=\"number\" name=\"port\" min=\"1\" max=\"65535\" value=\"%6\"></label></p>"
                       "<p><label><input type=\"checkbox\" name=\"network\" value=\"true\"%7> Reachable from the network "
                       "(otherwise this computer only)</label></p>"
                       "<p><label>Discovery port <input type=\"number\" name=\"discovery_port\" min=\"1\" max=\"65535\" "
                       "value=\"%8\"></label></p>"
                       "<p>Device id: %9</p>"
                       "<p><button type=\"submit\">Save (applied at the next start)</button></p></form></body></html>")
            .arg(context.serverName.toHtmlEscaped(), context.listenText.toHtmlEscaped(),
                 statusText(state).toHtmlEscaped(),
                 note.isEmpty() ? QString() : QStringLiteral("<p><strong>%1</strong></p>").arg(note.toHtmlEscaped()),
                 checked(s.enabled), QString::number(s.port), checked(s.network), QString::number(s.discoveryPort),
                 s.uniqueId.toHtmlEscaped());
    return page.toUtf8();
}

bool portField(const Params &params, const QString &name, int &port)
{
    const QString *text = params.find(name);
    if (!text)
        return true;
    bool ok = false;
    const int value = text->trimmed().toInt(&ok);
    if (!ok || value < 1 || value > 65535)
        return false;
    port = value;
    return true;
}

bool flagField(const Params &params, const QString &name, bool absentMeansFalse, bool &flag)
{
    const QString *text = params.find(name);
    if (!text) {
        flag = absentMeansFalse ? false : flag;
        return true;
    }
    const QString value = text->trimmed().toLower();
    if (value != QLatin1String("true") && value != QLatin1String("false"))
        return false;
    flag = value == QLatin1String("true");
    return true;
}

Reply setup(const Request &request, const QList<QByteArray> &parts, const DeviceSnapshot &state,
            const ServerContext &context)
{
    const QByteArray path = parts.join('/');
    const bool devicePage = path == "/setup/v1/covercalibrator/0/setup";
    if (path != "/setup" && !devicePage)
        return badRequest(QStringLiteral("Unknown setup path"));
    Reply reply;
    reply.contentType = htmlType;
    if (request.method == "GET") {
        reply.body = setupPage(state, context, QString());
        return reply;
    }
    if (request.method != "POST" || !devicePage)
        return badRequest(QStringLiteral("Settings are saved with POST to /setup/v1/covercalibrator/0/setup"));

    // The page's form sends no field for an unchecked box; other clients change only the fields they send.
    const Params params{request.params, true};
    Settings wanted = context.settings;
    const bool fromPage = params.find(QStringLiteral("form")) != nullptr;
    if (!flagField(params, QStringLiteral("enabled"), fromPage, wanted.enabled)
        || !flagField(params, QStringLiteral("network"), fromPage, wanted.network))
        return badRequest(QStringLiteral("enabled and network are true or false"));
    if (!portField(params, QStringLiteral("port"), wanted.port)
        || !portField(params, QStringLiteral("discovery_port"), wanted.discoveryPort))
        return badRequest(QStringLiteral("Ports are whole numbers from 1 to 65535"));
    ServerContext shown = context;
    shown.settings = wanted;
    reply.body = setupPage(state, shown, QStringLiteral("Saved; the server uses these settings from the next start."));
    reply.command.kind = Command::StoreSettings;
    reply.command.settings = wanted;
    return reply;
}

// "Origin: http://host[:port]" must name this server: its scheme, one of its names and its port.
bool originAllowed(const QByteArray &origin, const ServerContext &context)
{
    const QUrl url(QString::fromLatin1(origin), QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || !url.path().isEmpty() || url.hasQuery()
        || url.hasFragment() || !url.userInfo().isEmpty())
        return false;
    if (url.port(80) != context.httpPort)
        return false;
    const QString host = url.host(QUrl::FullyEncoded).toLower();
    const QString named = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return context.allowedHosts.contains(named);
}

} // namespace

bool hostAllowed(const QByteArray &host, const QStringList &allowedHosts)
{
    QByteArray name = host.trimmed().toLower();
    QByteArray port;
    if (name.startsWith('[')) {
        const int end = name.indexOf(']');
        if (end < 0)
            return false;
        port = name.mid(end + 1);
        name = name.left(end + 1);
    } else {
        const int colon = name.indexOf(':');
        if (colon >= 0) {
            port = name.mid(colon);
            name = name.left(colon);
        }
    }
    if (!port.isEmpty()) {
        if (port.size() < 2 || port.size() > 6 || port.at(0) != ':')
            return false;
        for (int i = 1; i < port.size(); ++i)
            if (port.at(i) < '0' || port.at(i) > '9')
                return false;
    }
    if (name.endsWith('.'))
        name.chop(1);
    return !name.isEmpty() && allowedHosts.contains(QString::fromLatin1(name));
}

Reply respond(const Request &request, const DeviceSnapshot &state, const ServerContext &context,
              quint32 serverTransactionId)
{
    // A web page reached through a rebound name, or posting across sites, gets nothing.
    if (!request.host.isEmpty() && !hostAllowed(request.host, context.allowedHosts))
        return plainReply(403, QStringLiteral("Host not served here"));
    if (request.method != "GET" && request.hasOrigin && !originAllowed(request.origin, context))
        return plainReply(403, QStringLiteral("Cross-site request refused"));

    const QList<QByteArray> parts = request.path.split('/');
    if (parts.size() < 2 || !parts.at(0).isEmpty())
        return badRequest(QStringLiteral("Unknown path"));
    if (parts.at(1) == "api")
        return deviceCall(request, parts, state, context, serverTransactionId);
    if (parts.at(1) == "management")
        return management(request, parts, context, serverTransactionId);
    if (parts.at(1) == "setup")
        return setup(request, parts, state, context);
    return badRequest(QStringLiteral("Unknown path"));
}

QString dialogRefusal(const QString &title)
{
    const QString shown = title.isEmpty() ? QStringLiteral("a dialog") : QLatin1Char('\'') + title + QLatin1Char('\'');
    return QStringLiteral("The panel is showing %1: close it to go on").arg(shown);
}

Reply outcomeReply(const Request &request, quint32 serverTransactionId, bool succeeded, const QString &failure)
{
    const Params params{request.params, request.method != "GET"};
    const Transaction transaction{unsignedParam(params, QStringLiteral("ClientTransactionID")), serverTransactionId};
    if (succeeded)
        return jsonReply(transaction, QJsonValue(QJsonValue::Undefined));
    return errorReply(transaction, NotConnected, failure);
}

} // namespace alpaca
