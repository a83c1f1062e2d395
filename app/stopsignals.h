// Tells the program that the system or the user asks it to end: SIGTERM, SIGINT and SIGHUP on Linux; Ctrl-C,
// Ctrl-Break, a closed console, a log-off and a shut-down on Windows. The program then ends as its window's
// close does (lamp off, box disconnected) and calls stopped().
#pragma once

#include <QObject>
#include <QString>

class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // False when the system refused to pass the requests on.
    bool isWatching() const;
    // The program has done what the stop asked. Windows ends a program once its handler of a closed console,
    // a log-off or a shut-down returns: the handler waits for this (up to a few seconds).
    void stopped();

signals:
    // On the thread that made the object, once per request: "signal 15" (SIGTERM), "signal 2", "signal 1" on
    // Linux; "Ctrl-C", "Ctrl-Break", "console closed", "log-off", "shut-down" on Windows.
    void stopRequested(const QString &why);

private:
    struct Watch;
    Watch *watch = nullptr;
};
