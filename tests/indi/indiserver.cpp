#include "indiserver.h"

#include <QDir>
#include <QRegularExpression>

#include <algorithm>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const int startTimeoutMs = 10000;
const int toolSlackMs = 3000;

int freeTcpPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::Any, 0) ? probe.serverPort() : 0;
}
} // namespace

IndiServer::~IndiServer()
{
    stop();
}

bool IndiServer::start(const QStringList &drivers, const QString &device)
{
    if (QStandardPaths::findExecutable(QStringLiteral("indiserver")).isEmpty()) {
        error = QStringLiteral("indiserver is not installed (Debian package indi-bin)");
        return false;
    }
    serverPort = freeTcpPort();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    server.setProcessEnvironment(environment);
    server.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    server.setStandardErrorFile(home.filePath(QStringLiteral("indiserver.err")));
    QDir(home.path()).mkpath(QStringLiteral("log"));
    const QString fifo = home.filePath(QStringLiteral("control.fifo"));
    if (::mkfifo(QFile::encodeName(fifo).constData(), 0600) != 0 && errno != EEXIST) {
        error = QStringLiteral("no control FIFO for indiserver");
        return false;
    }
    server.start(QStringLiteral("indiserver"),
                 QStringList{"-p", QString::number(serverPort), "-u", home.filePath(QStringLiteral("indi.sock")),
                             "-l", home.filePath(QStringLiteral("log")), "-r", "0", "-f", fifo}
                     + drivers);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < startTimeoutMs && server.state() != QProcess::NotRunning) {
        if (!get(device + QStringLiteral(".CONNECTION.CONNECT"), 1).isEmpty())
            return true;
        QTest::qWait(100);
    }
    error = QStringLiteral("indiserver did not bring up ") + device;
    stop();
    return false;
}

void IndiServer::stop()
{
    if (server.state() == QProcess::NotRunning)
        return;
    server.terminate();
    if (!server.waitForFinished(5000)) {
        server.kill();
        server.waitForFinished(5000);
    }
}

bool IndiServer::run(const QString &program, const QStringList &arguments, int timeoutMs, QByteArray *output)
{
    QProcess tool;
    tool.start(program, arguments);
    if (!tool.waitForStarted(5000))
        return false;
    const bool ended = QTest::qWaitFor([&tool] { return tool.state() == QProcess::NotRunning; }, timeoutMs);
    if (!ended) {
        tool.kill();
        tool.waitForFinished(1000);
        return false;
    }
    if (output)
        *output = tool.readAllStandardOutput();
    return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
}

QMap<QString, QString> IndiServer::get(const QString &pattern, int timeoutS)
{
    QByteArray output;
    QMap<QString, QString> values;
    run(QStringLiteral("indi_getprop"), {"-p", QString::number(serverPort), "-t", QString::number(timeoutS), pattern},
        timeoutS * 1000 + toolSlackMs, &output);
    for (const QByteArray &line : output.split('\n')) {
        const int equals = line.indexOf('=');
        if (equals > 0)
            values.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
    }
    return values;
}

QString IndiServer::value(const QString &name)
{
    return get(name).value(name);
}

bool IndiServer::set(const QString &assignment)
{
    return run(QStringLiteral("indi_setprop"), {"-p", QString::number(serverPort), assignment}, 5000);
}

namespace {

struct Condition
{
    QString name;
    QString op;
    double value = 0;
};

Condition parseCondition(const QString &text)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(.+?)\\s*(==|!=|<=|>=)\\s*(.+)$")).match(text.trimmed());
    return {match.captured(1), match.captured(2), match.captured(3).toDouble()};
}

bool conditionHolds(const Condition &condition, const QMap<QString, QString> &values)
{
    if (!values.contains(condition.name))
        return false;
    static const QMap<QString, double> words = {{"Off", 0}, {"On", 1},  {"Idle", 0},
                                                {"Ok", 1},  {"Busy", 2}, {"Alert", 3}};
    const QString text = values.value(condition.name);
    const double value = words.value(text, text.toDouble());
    if (condition.op == QLatin1String("=="))
        return value == condition.value;
    if (condition.op == QLatin1String("!="))
        return value != condition.value;
    if (condition.op == QLatin1String("<="))
        return value <= condition.value;
    return value >= condition.value;
}

} // namespace

bool IndiServer::waitFor(const QStringList &conditions, int timeoutS)
{
    QList<Condition> parsed;
    QStringList names;
    for (const QString &text : conditions) {
        parsed.append(parseCondition(text));
        names.append(parsed.last().name);
    }
    names.removeDuplicates();
    QElapsedTimer clock;
    clock.start();
    while (true) {
        QByteArray output;
        run(QStringLiteral("indi_getprop"), QStringList{"-p", QString::number(serverPort), "-t", "1"} + names,
            1000 + toolSlackMs, &output);
        QMap<QString, QString> values;
        for (const QByteArray &line : output.split('\n')) {
            const int equals = line.indexOf('=');
            if (equals > 0)
                values.insert(QString::fromUtf8(line.left(equals)), QString::fromUtf8(line.mid(equals + 1)));
        }
        if (std::all_of(parsed.cbegin(), parsed.cend(),
                        [&values](const Condition &condition) { return conditionHolds(condition, values); }))
            return true;
        if (clock.elapsed() > timeoutS * 1000)
            return false;
        QTest::qWait(50);
    }
}

bool IndiServer::stopDriver(const QString &driver)
{
    const QByteArray fifo = QFile::encodeName(home.filePath(QStringLiteral("control.fifo")));
    const int control = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
    if (control < 0)
        return false;
    const QByteArray command = "stop " + QFile::encodeName(driver) + '\n';
    const bool sent = ::write(control, command.constData(), size_t(command.size())) == command.size();
    ::close(control);
    return sent;
}

QStringList IndiServer::messages() const
{
    QStringList lines;
    const QDir logs(home.filePath(QStringLiteral("log")));
    for (const QString &name : logs.entryList({QStringLiteral("*.islog")}, QDir::Files, QDir::Name)) {
        QFile file(logs.filePath(name));
        if (file.open(QIODevice::ReadOnly | QIODevice::Text))
            lines += QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    return lines;
}
