// indi_velmora_flat under indiserver, timed by an INDI client: per firmware dialect the connect to a box that
// boots for 2 s, the time from a FLAT_LIGHT_INTENSITY change to the property turning Ok and the time from
// FLAT_LIGHT_ON to FLAT_LIGHT_CONTROL turning Ok; then the same level change through the running panel. Prints
// figures only.
#include "flatboxsim.h"
#include "serialbench.h"

#include <indiapi.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QSettings>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTcpSocket>
#include <QThread>
#include <QXmlStreamReader>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const char device[] = "VELMORA Flat Box";
const int levelChanges = 100;
const int lampSwitches = 20;

double msSince(Clock::time_point start, Clock::time_point end)
{
    return std::chrono::duration<double, std::milli>(end - start).count();
}

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

// An INDI client on one TCP connection to indiserver, written with TCP_NODELAY in one write per message (as the
// figures are the driver's, not a client's Nagle wait), read with Qt's XML stream reader. It keeps the last state
// of the driver's properties, with the time each update arrived.
class Watcher
{
public:
    struct Seen
    {
        IPState state = IPS_IDLE;
        double number = -1;
        bool firstSwitchOn = false;
        quint64 sequence = 0;
        Clock::time_point at;
    };

    bool connectServer(int port)
    {
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (!socket.waitForConnected(2000))
            return false;
        socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        xml.addData("<indi>"); // the stream has no root element of its own
        return send(QStringLiteral("<getProperties version=\"1.7\" device=\"%1\"/>").arg(device));
    }

    // Waits until `property` has been updated after `after` and `wanted` holds; false after `timeoutMs`.
    template<class Wanted>
    bool waitFor(const std::string &property, quint64 after, Wanted wanted, int timeoutMs, Seen &seen)
    {
        const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (true) {
            const auto found = properties.find(property);
            if (found != properties.end() && found->second.sequence > after && wanted(found->second)) {
                seen = found->second;
                return true;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0 || (!socket.waitForReadyRead(int(left)) && socket.state() != QAbstractSocket::ConnectedState))
                return false;
            readAvailable();
        }
    }
    bool waitForProperty(const std::string &property, int timeoutMs)
    {
        Seen seen;
        return waitFor(property, 0, [](const Seen &) { return true; }, timeoutMs, seen);
    }
    quint64 sequence() const { return counter; }

    bool sendSwitch(const char *property, const char *element)
    {
        return send(QStringLiteral("<newSwitchVector device=\"%1\" name=\"%2\"><oneSwitch name=\"%3\">On</oneSwitch>"
                                   "</newSwitchVector>")
                        .arg(device, property, element));
    }
    bool sendNumber(const char *property, const char *element, double value)
    {
        return send(QStringLiteral("<newNumberVector device=\"%1\" name=\"%2\"><oneNumber name=\"%3\">%4</oneNumber>"
                                   "</newNumberVector>")
                        .arg(device, property, element)
                        .arg(value));
    }
    bool sendText(const char *property, const char *element, const QString &text)
    {
        return send(QStringLiteral("<newTextVector device=\"%1\" name=\"%2\"><oneText name=\"%3\">%4</oneText>"
                                   "</newTextVector>")
                        .arg(device, property, element, text.toHtmlEscaped()));
    }

private:
    bool send(const QString &message)
    {
        const QByteArray bytes = message.toUtf8() + '\n';
        return socket.write(bytes) == bytes.size() && socket.flush();
    }

    static IPState stateOf(const QStringRef &text)
    {
        if (text == QLatin1String("Ok"))
            return IPS_OK;
        if (text == QLatin1String("Busy"))
            return IPS_BUSY;
        if (text == QLatin1String("Alert"))
            return IPS_ALERT;
        return IPS_IDLE;
    }

    void readAvailable()
    {
        xml.addData(socket.readAll());
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::Invalid)
                return; // the rest of the message has not arrived yet
            if (token == QXmlStreamReader::StartElement && xml.name().endsWith(QLatin1String("Vector"))) {
                current = Seen();
                currentName = xml.attributes().value(QStringLiteral("name")).toString().toStdString();
                current.state = stateOf(xml.attributes().value(QStringLiteral("state")));
                firstElement = true;
            } else if (token == QXmlStreamReader::StartElement && firstElement
                       && (xml.name().startsWith(QLatin1String("oneNumber")) || xml.name().startsWith(QLatin1String("defNumber"))
                           || xml.name().startsWith(QLatin1String("oneSwitch")) || xml.name().startsWith(QLatin1String("defSwitch")))) {
                const bool number = xml.name().endsWith(QLatin1String("Number"));
                const QString text = xml.readElementText().trimmed();
                if (number)
                    current.number = text.toDouble();
                else
                    current.firstSwitchOn = text == QLatin1String("On");
                firstElement = false;
            } else if (token == QXmlStreamReader::EndElement && xml.name().endsWith(QLatin1String("Vector"))) {
                current.at = Clock::now();
                current.sequence = ++counter;
                properties[currentName] = current;
            }
        }
    }

    QTcpSocket socket;
    QXmlStreamReader xml;
    std::map<std::string, Seen> properties;
    std::string currentName;
    Seen current;
    bool firstElement = false;
    quint64 counter = 0;
};

struct Server
{
    QProcess process;
    QTemporaryDir home;
    int port = 0;

    bool start()
    {
        port = freePort();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        process.setProcessEnvironment(environment);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(home.filePath(QStringLiteral("indiserver.err")));
        process.start(QStringLiteral("indiserver"), {"-p", QString::number(port), "-u",
                                                     home.filePath(QStringLiteral("sock")), VELMORA_INDI_DRIVER});
        return process.waitForStarted(5000);
    }
    ~Server()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(2000);
    }
};

bool connectClient(Watcher &client, const Server &server)
{
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (client.connectServer(server.port)) {
            Watcher::Seen seen;
            return client.waitFor("CONNECTION", 0, [](const Watcher::Seen &) { return true; }, 5000, seen);
        }
        QThread::msleep(100);
    }
    return false;
}

// Sets one element of a text property once the driver has defined it, and waits for the driver's answer.
bool setText(Watcher &client, const char *property, const char *element, const QByteArray &text)
{
    if (!client.waitForProperty(property, 5000))
        return false;
    const quint64 before = client.sequence();
    client.sendText(property, element, QString::fromUtf8(text));
    Watcher::Seen seen;
    return client.waitFor(property, before, [](const Watcher::Seen &) { return true; }, 5000, seen);
}

// Sends CONNECT and returns the milliseconds until CONNECTION is Ok with CONNECT on; -1 when it failed.
double connectDevice(Watcher &client)
{
    const quint64 before = client.sequence();
    const Clock::time_point start = Clock::now();
    client.sendSwitch("CONNECTION", "CONNECT");
    Watcher::Seen seen;
    if (!client.waitFor("CONNECTION", before,
                        [](const Watcher::Seen &s) { return s.state == IPS_OK && s.firstSwitchOn; }, 20000, seen))
        return -1;
    return msSince(start, seen.at);
}

// One FLAT_LIGHT_INTENSITY change until the property is Ok at that level; -1 when it failed.
double changeLevel(Watcher &client, int level)
{
    Watcher::Seen seen;
    const quint64 before = client.sequence();
    const Clock::time_point start = Clock::now();
    client.sendNumber("FLAT_LIGHT_INTENSITY", "FLAT_LIGHT_INTENSITY_VALUE", level);
    if (!client.waitFor("FLAT_LIGHT_INTENSITY", before,
                        [level](const Watcher::Seen &s) { return s.state != IPS_BUSY && s.number == level; }, 5000,
                        seen)
        || seen.state != IPS_OK)
        return -1;
    return msSince(start, seen.at);
}

// FLAT_LIGHT_ON or FLAT_LIGHT_OFF until FLAT_LIGHT_CONTROL is Ok with the lamp so; the milliseconds, -1 when it failed.
double switchLamp(Watcher &client, bool on)
{
    Watcher::Seen seen;
    const quint64 before = client.sequence();
    const Clock::time_point start = Clock::now();
    client.sendSwitch("FLAT_LIGHT_CONTROL", on ? "FLAT_LIGHT_ON" : "FLAT_LIGHT_OFF");
    if (!client.waitFor("FLAT_LIGHT_CONTROL", before,
                        [on](const Watcher::Seen &s) { return s.state != IPS_BUSY && s.firstSwitchOn == on; }, 5000,
                        seen)
        || seen.state != IPS_OK)
        return -1;
    return msSince(start, seen.at);
}

bool lampOn(Watcher &client)
{
    return switchLamp(client, true) >= 0;
}

struct Figures
{
    double median = 0;
    double p99 = 0;
    double worst = 0;
    int failures = 0;
};

Figures figuresOf(std::vector<double> times, int failures)
{
    Figures figures;
    figures.failures = failures;
    std::sort(times.begin(), times.end());
    if (!times.empty()) {
        figures.median = times[times.size() / 2];
        figures.p99 = times[std::min(times.size() - 1, size_t(0.99 * double(times.size())))];
        figures.worst = times.back();
    }
    return figures;
}

Figures levelFigures(Watcher &client)
{
    std::vector<double> times;
    int failures = 0;
    for (int i = 0; i < levelChanges; ++i) {
        const double ms = changeLevel(client, 100 + i % 2);
        if (ms < 0)
            ++failures;
        else
            times.push_back(ms);
    }
    return figuresOf(times, failures);
}

// The lamp switched off, then FLAT_LIGHT_ON timed, `lampSwitches` times.
Figures lampOnFigures(Watcher &client)
{
    std::vector<double> times;
    int failures = 0;
    for (int i = 0; i < lampSwitches; ++i) {
        const double ms = switchLamp(client, false) < 0 ? -1 : switchLamp(client, true);
        if (ms < 0)
            ++failures;
        else
            times.push_back(ms);
    }
    return figuresOf(times, failures);
}

void printFigures(const Figures &figures, double limit)
{
    std::printf(" %7.2f %7.2f %7.2f%s", figures.median, figures.p99, figures.worst,
                figures.failures ? qPrintable(QStringLiteral(" (%1 failures)").arg(figures.failures))
                : figures.worst > limit ? " (over)" : "");
}

double exchangeLineMs(bool crlfReply)
{
    return (6 + 8 + (crlfReply ? 1 : 0)) * 10 * 1000.0 / serialbench::lineRate;
}

bool dialectTable()
{
    std::printf("per dialect, on the serial port at %d baud: CONNECT until CONNECTION Ok (box's first answer can come "
                "2 s after the port opens),\nthen %d FLAT_LIGHT_INTENSITY changes until Ok, then %d FLAT_LIGHT_ON "
                "(after FLAT_LIGHT_OFF) until Ok\n(targets: connect <= 2 s + 350 ms; change and lamp-on <= 1.5 x line "
                "time + 5 ms)\n",
                serialbench::lineRate, levelChanges, lampSwitches);
    std::printf("%-34s %8s %9s %7s %7s | %7s %7s %7s | %7s %7s %7s\n", "", "", "", "", "", "level", "", "",
                "lamp-on", "", "");
    std::printf("%-34s %8s %9s %7s %7s | %7s %7s %7s | %7s %7s %7s\n", "dialect", "connect", "after 2 s", "line",
                "limit", "median", "p99", "worst", "median", "p99", "worst");
    bool allMet = true;
    for (const serialbench::Dialect &dialect : serialbench::dialects()) {
        FlatBoxSim box;
        Server server;
        Watcher client;
        if (!box.start(dialect.options + QStringList{"--line-rate", QString::number(serialbench::lineRate)})
            || !server.start() || !connectClient(client, server)) {
            std::fprintf(stderr, "cannot start the simulator, indiserver or the client\n");
            return false;
        }
        const double connectMs = setText(client, "DEVICE_PORT", "PORT", box.portName()) ? connectDevice(client) : -1;
        const Figures figures = connectMs < 0 ? Figures{0, 0, 0, levelChanges} : levelFigures(client);
        const Figures lamp = connectMs < 0 ? Figures{0, 0, 0, lampSwitches} : lampOnFigures(client);
        const double line = exchangeLineMs(dialect.options.contains(QStringLiteral("crlf")));
        const double limit = 1.5 * line + 5;
        allMet = allMet && connectMs >= 0 && connectMs - dialect.firstAnswerMs <= 350 && figures.failures == 0
                 && figures.worst <= limit && lamp.failures == 0 && lamp.worst <= limit;
        std::printf("%-34s %8.1f %9.1f %7.2f %7.2f |", dialect.name, connectMs, connectMs - dialect.firstAnswerMs,
                    line, limit);
        printFigures(figures, limit);
        std::printf(" |");
        printFigures(lamp, limit);
        std::printf("\n");
    }
    std::printf("  targets %s\n", allMet ? "met" : "NOT met");
    return true;
}

// The real panel, offscreen, connecting the simulated box at start and serving Alpaca on a port of its own.
bool startPanel(QProcess &panel, const QTemporaryDir &home, const FlatBoxSim &box, int alpacaPort)
{
    QSettings settings(home.filePath(QStringLiteral("config/VELMORA/VELMORA Flat Box.conf")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("auto_search"), QStringLiteral("true"));
    settings.setValue(QStringLiteral("alpaca/port"), alpacaPort);
    settings.setValue(QStringLiteral("alpaca/discovery_port"), 0);
    settings.sync();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("VELMORA_FLAT_EXTRA_PORTS"), box.port());
    panel.setProcessEnvironment(environment);
    panel.setStandardOutputFile(QProcess::nullDevice());
    panel.setStandardErrorFile(QProcess::nullDevice());
    panel.start(QStringLiteral(VELMORA_PANEL), QStringList());
    if (!panel.waitForStarted(5000))
        return false;
    // Its Alpaca server listens once the window stands (and the box is connected).
    for (int attempt = 0; attempt < 100; ++attempt) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(alpacaPort));
        if (probe.waitForConnected(100))
            return true;
        QThread::msleep(100);
    }
    return false;
}

bool panelTable()
{
    FlatBoxSim box;
    QTemporaryDir home;
    QProcess panel;
    const int alpacaPort = freePort();
    if (!box.start({"--line-rate", QString::number(serialbench::lineRate)}) || !startPanel(panel, home, box, alpacaPort))
        return false;
    Server server;
    Watcher client;
    if (!server.start() || !connectClient(client, server))
        return false;
    client.waitForProperty("CONNECTION_MODE", 5000);
    client.sendSwitch("CONNECTION_MODE", "CONNECTION_TCP");
    const double connectMs =
        setText(client, "DEVICE_ADDRESS", "PORT", QByteArray::number(alpacaPort)) ? connectDevice(client) : -1;
    const bool lit = connectMs >= 0 && lampOn(client);
    const Figures figures = lit ? levelFigures(client) : Figures{0, 0, 0, levelChanges};
    const double line = exchangeLineMs(false);
    std::printf("\nthrough the panel (Alpaca on loopback, the panel's box at %d baud): %d FLAT_LIGHT_INTENSITY changes "
                "until Ok\n(target: <= 50 ms + the box's exchange, %.2f ms)\n",
                serialbench::lineRate, levelChanges, line);
    std::printf("  connect %.1f ms; change median %.2f ms, p99 %.2f ms, worst %.2f ms%s; target %s\n", connectMs,
                figures.median, figures.p99, figures.worst,
                figures.failures ? qPrintable(QStringLiteral(" (%1 failures)").arg(figures.failures)) : "",
                lit && figures.failures == 0 && figures.worst <= 50 + line ? "met" : "NOT met");
    panel.terminate();
    if (!panel.waitForFinished(5000))
        panel.kill();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const bool serial = dialectTable();
    const bool panel = panelTable();
    return serial && panel ? 0 : 1;
}
