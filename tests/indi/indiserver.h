// Runs Debian's indiserver with drivers for a test or a benchmark, on a port, a local socket and a HOME of its
// own, and talks to it with indi_getprop, indi_setprop and indi_eval. Every wait lets the caller's Qt event loop
// run (an in-process panel keeps serving) and is bounded.
#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class IndiServer
{
public:
    IndiServer() = default;
    ~IndiServer();
    IndiServer(const IndiServer &) = delete;
    IndiServer &operator=(const IndiServer &) = delete;

    // Starts indiserver with these drivers and waits until `device` has defined its properties.
    bool start(const QStringList &drivers, const QString &device);
    void stop();
    QString errorText() const { return error; }
    int port() const { return serverPort; }

    // "device.property.element" -> value, for every element that matches `pattern` (indi_getprop's syntax).
    QMap<QString, QString> get(const QString &pattern, int timeoutS = 2);
    QString value(const QString &name);
    // indi_setprop "device.property.element=value" (or "device.property.e1;e2=v1;v2").
    bool set(const QString &assignment);
    // True once every condition holds ("device.property.element==value", also !=, <=, >=; switches are 1 when On,
    // "._STATE" is 0 Idle, 1 Ok, 2 Busy, 3 Alert), false after `timeoutS` seconds. Asks with indi_getprop: indi_eval
    // refuses operands as long as "VELMORA Flat Box.FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE".
    bool waitFor(const QStringList &conditions, int timeoutS);
    // The driver messages that indiserver logged, one per line.
    QStringList messages() const;
    // Ends a driver as given to start() through indiserver's control FIFO; indiserver tells its clients that the
    // driver's devices are gone.
    bool stopDriver(const QString &driver);

private:
    bool run(const QString &program, const QStringList &arguments, int timeoutMs, QByteArray *output = nullptr);

    QProcess server;
    QTemporaryDir home;
    int serverPort = 0;
    QString error;
};
