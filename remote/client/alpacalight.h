// A light box reached as an ASCOM Alpaca CoverCalibrator (the panel's own server, or any other): connect, lamp on at
// a brightness, lamp off. Each call answers once through `done` (empty error when the device took it), on the
// thread that made the object, from its event loop. The requests go through an AlpacaClient on its own thread.
#pragma once

#include "alpacaclient.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AlpacaLight : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const QString &error)>;

    AlpacaLight(const QString &host, int port, QObject *parent = nullptr);
    // Waits for a request under way; answers still to come are dropped.
    ~AlpacaLight() override;

    QString address() const;
    // Connects as this program's client; `wasOn` tells whether the calibrator was on already.
    void connectDevice(const std::function<void(const QString &error, bool wasOn)> &done);
    // Lamp on at the brightness; done once the device reports that brightness.
    void setLevel(int level, const Done &done);
    void switchOff(const Done &done);

private:
    using Answer = std::function<void(const QString &error, double value)>;
    void put(const QString &member, const QUrlQuery &form, const Answer &done);
    void get(const QString &member, const Answer &done);
    // On the client's thread: hands the reply to `done` on this object's thread.
    void answer(const AlpacaReply &reply, const QString &member, const Answer &done);
    void waitForBrightness(int level, int triesLeft, const Done &done);

    QString host;
    int port;
    std::unique_ptr<AlpacaClient> client; // last: its thread ends before the rest goes
};
