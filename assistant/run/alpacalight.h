// A light box reached as an ASCOM Alpaca CoverCalibrator (the panel's own server, or any other): connect, lamp on at
// a brightness, lamp off. Each call answers once through `done` (empty error when the device took it).
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QString>

#include <functional>

class AlpacaLight : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const QString &error)>;

    AlpacaLight(const QString &host, int port, QObject *parent = nullptr);

    QString address() const;
    // Connects as this program's client; `wasOn` tells whether the calibrator was on already.
    void connectDevice(const std::function<void(const QString &error, bool wasOn)> &done);
    // Lamp on at the brightness; done once the device reports that brightness.
    void setLevel(int level, const Done &done);
    void switchOff(const Done &done);

private:
    void put(const QString &member, const QString &form, const std::function<void(const QString &, double)> &done);
    void get(const QString &member, const std::function<void(const QString &, double)> &done);
    void answer(class QNetworkReply *reply, const QString &member,
                const std::function<void(const QString &, double)> &done);
    void waitForBrightness(int level, int triesLeft, const Done &done);

    QNetworkAccessManager network;
    QString host;
    int port;
    quint32 clientId;
    quint32 transaction = 0;
};
