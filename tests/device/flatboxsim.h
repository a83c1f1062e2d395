// Runs the box simulator (velmora-flatbox-sim) for a test or a benchmark: starts it, knows
// its pty and the commands it received, and stops it.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class FlatBoxSim
{
public:
    FlatBoxSim() = default;
    ~FlatBoxSim();
    FlatBoxSim(const FlatBoxSim &) = delete;
    FlatBoxSim &operator=(const FlatBoxSim &) = delete;

    // Starts the simulator with these options (its log is added) and waits for its pty.
    bool start(const QStringList &options = QStringList());
    // Closes its standard input, which ends it; kills it if it lingers.
    void stop();

    QString port() const { return devicePath; }
    QByteArray portName() const { return devicePath.toUtf8(); }
    QString errorText() const { return error; }

    // The command lines it received, in order, each with the note the simulator logged after
    // it (" (booting)", " (silent)", ...), e.g. ">B128" or ">P000 (booting)".
    QStringList received() const;
    // Only the commands it took in: not ignored while booting, silent or malformed.
    QStringList accepted() const;
    // When it took in each of those, in milliseconds since its start.
    QList<qint64> acceptedAtMs() const;
    // Milliseconds since it took in the last command it answered, -1 if none: at most a few
    // milliseconds more than the truth, as its clock starts a little after the one measuring here.
    qint64 msSinceLastAnswer() const;

private:
    QStringList logLines() const; // "seconds since its start, command line, note"

    QProcess process;
    QElapsedTimer launched;
    QTemporaryDir directory;
    QString devicePath;
    QString error;
};
