#include "alpacalightsource.h"

#include "alpacalight.h"

AlpacaLightSource::AlpacaLightSource(const QString &host, int port)
    : light(std::make_unique<AlpacaLight>(host, port)),
      identity(QStringLiteral("alpaca ") + host + QLatin1Char(':') + QString::number(port))
{
}

AlpacaLightSource::~AlpacaLightSource() = default;

void AlpacaLightSource::open(const Done &done)
{
    light->connectDevice([this, done](const QString &error, bool wasOn) {
        opened = error.isEmpty();
        foundOn = lampOn = wasOn;
        done(error);
    });
}

void AlpacaLightSource::setLevel(int level, const Done &done)
{
    light->setLevel(level, [this, done](const QString &error) {
        lampOn = lampOn || error.isEmpty();
        done(error);
    });
}

void AlpacaLightSource::switchOff(const Done &done)
{
    light->switchOff([this, done](const QString &error) {
        lampOn = lampOn && !error.isEmpty();
        done(error);
    });
}

// A lamp found on is left on: the run did not switch it on.
void AlpacaLightSource::restore(const std::function<void()> &done)
{
    if (!opened || foundOn)
        return done();
    light->switchOff([done](const QString &) { done(); });
}
