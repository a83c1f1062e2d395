// velmora-flat run as a user starts it, in a process of its own: automatic search on, the box's port listed, the
// Alpaca server on a free port, settings and data in a temporary folder. Its log is read as it comes.
#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

class PanelProcess
{
public:
    ~PanelProcess();

    // Starts the program with these arguments: "--headless" without a display, none for the window (offscreen).
    void launch(const QString &boxPort, const QStringList &arguments);
    // The same, then waits for the Alpaca server's port.
    bool start(const QString &boxPort, const QStringList &arguments = {QStringLiteral("--headless")});

    // Waits up to 15 s for a log line that matches.
    bool waitForLine(const QRegularExpression &pattern,
                     const std::function<void(const QRegularExpressionMatch &)> &found = {});
    bool waitForLine(const QString &text);
    QStringList lines();

    // GET of a member of the Alpaca device: its value as a number, -1 when it has none.
    int call(const QString &member);

    QTemporaryDir home;
    QProcess process;
    QString log;
    int httpPort = 0;
};
