#include "flatboxsim.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {
const int startTimeoutMs = 10000;
const int stopTimeoutMs = 5000;

QString logPathIn(const QTemporaryDir &directory)
{
    return directory.filePath(QStringLiteral("flatbox-sim.log"));
}
} // namespace

FlatBoxSim::~FlatBoxSim()
{
    stop();
}

bool FlatBoxSim::start(const QStringList &options)
{
    stop();
    process.setProgram(QStringLiteral(VELMORA_FLATBOX_SIM));
    process.setArguments(options + QStringList{QStringLiteral("--log"), logPathIn(directory)});
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    launched.start();
    process.start();
    QDeadlineTimer deadline(startTimeoutMs);
    while (!process.canReadLine() && process.state() != QProcess::NotRunning && !deadline.hasExpired())
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    if (!process.canReadLine()) {
        error = QStringLiteral("the simulator did not print its pty: ") + process.errorString();
        stop();
        return false;
    }
    devicePath = QString::fromUtf8(process.readLine()).trimmed();
    return true;
}

void FlatBoxSim::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.closeWriteChannel();
    if (!process.waitForFinished(stopTimeoutMs)) {
        process.kill();
        process.waitForFinished(stopTimeoutMs);
    }
}

QStringList FlatBoxSim::logLines() const
{
    QFile log(logPathIn(directory));
    QStringList lines;
    if (!log.open(QIODevice::ReadOnly | QIODevice::Text))
        return lines;
    while (!log.atEnd()) {
        QString line = QString::fromUtf8(log.readLine());
        if (line.endsWith(QLatin1Char('\n')))
            line.chop(1);
        lines.append(line);
    }
    return lines;
}

QStringList FlatBoxSim::received() const
{
    QStringList lines;
    for (const QString &line : logLines())
        lines.append(line.section(QLatin1Char(' '), 1));
    return lines;
}

QStringList FlatBoxSim::accepted() const
{
    QStringList commands;
    for (const QString &line : received()) {
        if (!line.contains(QLatin1Char(' ')))
            commands.append(line);
    }
    return commands;
}

QList<qint64> FlatBoxSim::acceptedAtMs() const
{
    QList<qint64> times;
    for (const QString &line : logLines()) {
        if (line.count(QLatin1Char(' ')) == 1)
            times.append(qint64(line.section(QLatin1Char(' '), 0, 0).toDouble() * 1000));
    }
    return times;
}

qint64 FlatBoxSim::msSinceLastAnswer() const
{
    const QStringList lines = logLines();
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        if (line->count(QLatin1Char(' ')) == 1)
            return launched.elapsed() - qint64(line->section(QLatin1Char(' '), 0, 0).toDouble() * 1000);
    }
    return -1;
}
