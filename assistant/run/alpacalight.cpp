#include "alpacalight.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrlQuery>

namespace {
const int calibratorReady = 3;
const int brightnessPolls = 50;
const int pollIntervalMs = 100;
const int requestTimeoutMs = 5000;
} // namespace

AlpacaLight::AlpacaLight(const QString &host, int port, QObject *parent)
    : QObject(parent), host(host), port(port), clientId(QRandomGenerator::global()->bounded(1u, 65535u))
{
    network.setTransferTimeout(requestTimeoutMs);
}

QString AlpacaLight::address() const
{
    return host + QLatin1Char(':') + QString::number(port);
}

void AlpacaLight::connectDevice(const std::function<void(const QString &, bool)> &done)
{
    put(QStringLiteral("connected"), QStringLiteral("Connected=true"), [this, done](const QString &error, double) {
        if (!error.isEmpty())
            return done(error, false);
        get(QStringLiteral("calibratorstate"),
            [done](const QString &stateError, double state) { done(stateError, int(state) == calibratorReady); });
    });
}

void AlpacaLight::setLevel(int level, const Done &done)
{
    put(QStringLiteral("calibratoron"), QStringLiteral("Brightness=%1").arg(level),
        [this, level, done](const QString &error, double) {
            if (!error.isEmpty())
                return done(error);
            waitForBrightness(level, brightnessPolls, done);
        });
}

void AlpacaLight::switchOff(const Done &done)
{
    put(QStringLiteral("calibratoroff"), QString(), [done](const QString &error, double) { done(error); });
}

void AlpacaLight::waitForBrightness(int level, int triesLeft, const Done &done)
{
    get(QStringLiteral("brightness"), [this, level, triesLeft, done](const QString &error, double brightness) {
        if (!error.isEmpty())
            return done(error);
        if (int(brightness) == level)
            return done(QString());
        if (triesLeft <= 0)
            return done(QStringLiteral("Alpaca device at %1 did not reach brightness %2").arg(address()).arg(level));
        QTimer::singleShot(pollIntervalMs, this, [=] { waitForBrightness(level, triesLeft - 1, done); });
    });
}

void AlpacaLight::put(const QString &member, const QString &form, const std::function<void(const QString &, double)> &done)
{
    QNetworkRequest request(QUrl(QStringLiteral("http://%1/api/v1/covercalibrator/0/%2").arg(address(), member)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    QString body = QStringLiteral("ClientID=%1&ClientTransactionID=%2").arg(clientId).arg(++transaction);
    if (!form.isEmpty())
        body = form + QLatin1Char('&') + body;
    answer(network.put(request, body.toUtf8()), member, done);
}

void AlpacaLight::get(const QString &member, const std::function<void(const QString &, double)> &done)
{
    QUrl url(QStringLiteral("http://%1/api/v1/covercalibrator/0/%2").arg(address(), member));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("ClientID"), QString::number(clientId));
    query.addQueryItem(QStringLiteral("ClientTransactionID"), QString::number(++transaction));
    url.setQuery(query);
    answer(network.get(QNetworkRequest(url)), member, done);
}

void AlpacaLight::answer(QNetworkReply *reply, const QString &member, const std::function<void(const QString &, double)> &done)
{
    connect(reply, &QNetworkReply::finished, this, [this, reply, member, done] {
        reply->deleteLater();
        const QJsonObject json = QJsonDocument::fromJson(reply->readAll()).object();
        if (reply->error() != QNetworkReply::NoError && json.isEmpty())
            return done(QStringLiteral("no Alpaca device on %1 (%2)").arg(address(), reply->errorString()), 0);
        if (json.value(QStringLiteral("ErrorNumber")).toInt() != 0)
            return done(QStringLiteral("Alpaca device at %1 refused %2: %3")
                            .arg(address(), member, json.value(QStringLiteral("ErrorMessage")).toString()),
                        0);
        done(QString(), json.value(QStringLiteral("Value")).toDouble());
    });
}
