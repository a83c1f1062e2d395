// The Alpaca CoverCalibrator protocol as a pure function: one HTTP request, the panel's published state and the
// next server transaction number in; the HTTP reply and, for commands, what the window has to do, out.
// No threads, sockets or widgets here, so every protocol rule can be tested and fuzzed on its own.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPair>
#include <QSet>
#include <QString>
#include <QStringList>

namespace alpaca {

// ASCOM error numbers used by this device.
enum ErrorNumber : int {
    NoError = 0,
    NotImplemented = 0x400,
    InvalidValue = 0x401,
    NotConnected = 0x407,
    InvalidOperation = 0x40B,
    ActionNotImplemented = 0x40C,
    DriverError = 0x500,
};

// ASCOM CalibratorStatus.
enum class CalibratorState : int { NotPresent = 0, Off = 1, NotReady = 2, Ready = 3, Unknown = 4, Error = 5 };
// ASCOM CoverStatus: this box has no cover.
constexpr int coverNotPresent = 0;
constexpr int maxBrightness = 255;
constexpr int interfaceVersion = 2;

// The server's settings, group "alpaca" of the settings store.
struct Settings
{
    bool enabled = true;
    int port = 11111;
    bool network = false;
    int discoveryPort = 32227;
    QString uniqueId;
};

// What the window shows, as published on its thread, plus the server's own bookkeeping of its clients.
struct DeviceSnapshot
{
    bool boxConnected = false;      // the controller's state is Connected
    bool lampSwitchedOn = false;    // the lamp was switched on (by the window's switch or a client)
    bool lampLit = false;           // the lamp did light
    bool lastCommandFailed = false; // a client's command ended in failure and the user changed nothing since
    int brightness = 0;             // the last level sent to the box
    int pendingCommands = 0;        // client commands accepted and not yet done by the controller
    bool dialogOpen = false;        // a message box or file dialog of the panel waits for the user
    QString dialogTitle;            // its title
    QSet<quint32> connectedClients; // client ids that connected and did not disconnect
    QSet<quint32> connectingClients;       // client ids whose connect is searching for the box
    QHash<quint32, QString> failedConnects; // client ids whose last connect failed, with the reason
    QDateTime timestamp;            // when the snapshot was taken (UTC), for devicestate
};

CalibratorState calibratorState(const DeviceSnapshot &state);

// The fixed facts about this server that the replies and the setup page show.
struct ServerContext
{
    QString serverName;
    QString manufacturer;
    QString version;
    QString location;
    QString deviceName;
    QString description;
    QString driverInfo;
    QString listenText;        // where it listens, for the setup page ("127.0.0.1 and ::1 port 11111")
    QStringList allowedHosts;  // lower-case names and addresses a Host header may name; IPv6 in brackets
    int httpPort = 0;          // the port this server listens on; an Origin must name it
    Settings settings;         // as read at start, for the setup page
};

struct Request
{
    QByteArray method;                      // "GET", "PUT", "POST", ...
    QByteArray path;                        // decoded path, without the query
    QList<QPair<QString, QString>> params;  // query parameters (GET) or form fields (PUT, POST)
    QByteArray host;                        // the Host header; empty when absent
    QByteArray origin;                      // the Origin header; empty when absent
    bool hasOrigin = false;
};

// What the window's thread (or the server's client bookkeeping) has to do after the reply is built.
struct Command
{
    enum Kind { None, CalibratorOn, CalibratorOff, ConnectBox, ConnectClient, DisconnectClient, StoreSettings };
    Kind kind = None;
    int brightness = 0;
    quint32 clientId = 0;
    // The client waits for the outcome (PUT Connected=true); the reply then comes from outcomeReply().
    // Otherwise (PUT connect) the outcome shows in the client's Connecting.
    bool waitForOutcome = false;
    Settings settings;
};

struct Reply
{
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    Command command;
};

Reply respond(const Request &request, const DeviceSnapshot &state, const ServerContext &context,
              quint32 serverTransactionId);

// The reply to a request whose command the client waited for, once the window's thread has done it.
Reply outcomeReply(const Request &request, quint32 serverTransactionId, bool succeeded, const QString &failure);

// The refusal of a command while the panel waits for the user to close a dialog.
QString dialogRefusal(const QString &title);

// Whether a Host header value (name or address, optionally with ":port") names this server.
bool hostAllowed(const QByteArray &host, const QStringList &allowedHosts);

} // namespace alpaca
