#include "alpacalight.h"

#include <QRandomGenerator>
#include <QTimer>

namespace {
const int calibratorReady = 3;
const int brightnessPolls = 50;
const int pollIntervalMs = 100;
const int requestTimeoutMs = 5000;
} // namespace

AlpacaLight::AlpacaLight(const QString &host, int port, QObject *parent)
    : QObject(parent)
    , host(host)
    , port(port)
    , client(std::make_unique<AlpacaClient>(host, port, QRandomGenerator::global()->bounded(1u, 65535u),
                                            requestTimeoutMs))
{
}

AlpacaLight::~AlpacaLight()
{
    client.reset();
}

QString AlpacaLight::address() const
{
    return host + QLatin1Char(':') + QString::number(port);
}

void AlpacaLight::connectDevice(const std::function<void(const QString &, bool)> &done)
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("Connected"), QStringLiteral("true"));
    put(QStringLiteral("connected"), form, [this, done](const QString &error, double) {
        if (!error.isEmpty())
            return done(error, false);
        get(QStringLiteral("calibratorstate"),
            [done](const QString &stateError, double state) { done(stateError, int(state) == calibratorReady); });
    });
}

void AlpacaLight::setLevel(int level, const Done &done)
{
    QUrlQuery form;
    form.addQueryItem(QStringLiteral("Brightness"), QString::number(level));
    put(QStringLiteral("calibratoron"), form, [this, level, done](const QString &error, double) {
        if (!error.isEmpty())
            return done(error);
        waitForBrightness(level, brightnessPolls, done);
    });
}

void AlpacaLight::switchOff(const Done &done)
{
    put(QStringLiteral("calibratoroff"), QUrlQuery(), [done](const QString &error, double) { done(error); });
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

void AlpacaLight::put(const QString &member, const QUrlQuery &form, const Answer &done)
{
    AlpacaClient *http = client.get();
    client->run([this, http, member, form, done] {
        http->put(member, form, [this, member, done](const AlpacaReply &reply) { answer(reply, member, done); });
    });
}

void AlpacaLight::get(const QString &member, const Answer &done)
{
    AlpacaClient *http = client.get();
    client->run([this, http, member, done] {
        http->get(member, [this, member, done](const AlpacaReply &reply) { answer(reply, member, done); });
    });
}

void AlpacaLight::answer(const AlpacaReply &reply, const QString &member, const Answer &done)
{
    QString error;
    if (!reply.reached)
        error = QStringLiteral("no Alpaca device on %1 (%2)").arg(address(), reply.errorMessage);
    else if (reply.httpStatus != 200 && reply.errorNumber <= 0)
        error = QStringLiteral("no Alpaca device on %1 (HTTP status %2)").arg(address()).arg(reply.httpStatus);
    else if (reply.errorNumber > 0)
        error = QStringLiteral("Alpaca device at %1 refused %2: %3").arg(address(), member, reply.errorMessage);
    const double value = reply.value.toDouble();
    QMetaObject::invokeMethod(this, [done, error, value] { done(error, value); }, Qt::QueuedConnection);
}
