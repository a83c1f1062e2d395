// An Alpaca CoverCalibrator as the run's light source.
#pragma once

#include "lightsource.h"

#include <memory>

class AlpacaLight;

class AlpacaLightSource : public LightSource
{
public:
    AlpacaLightSource(const QString &host, int port);
    ~AlpacaLightSource() override;

    // Connects; `done` answers once, with an error naming the device when it cannot.
    void open(const Done &done);

    QString id() const override { return identity; }
    bool isOn() const override { return lampOn; }
    void setLevel(int level, const Done &done) override;
    void switchOff(const Done &done) override;
    void restore(const std::function<void()> &done) override;

private:
    std::unique_ptr<AlpacaLight> light;
    QString identity;
    bool opened = false;
    bool foundOn = false;
    bool lampOn = false;
};
