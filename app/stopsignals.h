// The requests from outside to end the program: a logout, a shutdown, `kill`, Ctrl-C, a closed terminal or
// console. The window and the server without a window both hear them here, on the thread that made this object,
// from its event loop. Each platform has its own source file behind this one header.
#pragma once

#include <QObject>
#include <QString>

class StopSignals : public QObject
{
    Q_OBJECT

public:
    // Starts listening at once. One object at a time listens: the one made last, until it goes (several are
    // destroyed in the reverse order of their making).
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // False when the system refused to pass the requests on: the program then ends as the system's default has it.
    bool isWatching() const;
    // The program has done what the stop asked (lamp off, box disconnected). Where the system waits for that before
    // it ends the process, it may go on now.
    void stopped();

signals:
    // The request's name: "SIGTERM", "SIGINT" or "SIGHUP" on Linux; "Ctrl-C", "Ctrl-Break", "console closed",
    // "log-off" or "shut-down" on Windows.
    void stopRequested(const QString &why);

private:
    struct Listener;
    Listener *listener;
};
