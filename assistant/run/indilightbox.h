// An INDI light box (FLAT_LIGHT_CONTROL and FLAT_LIGHT_INTENSITY) as the run's light source.
#pragma once

#include "indidevice.h"
#include "lightsource.h"

#include <QDateTime>

class IndiLightBox : public IndiDevice, public LightSource
{
public:
    // `timeoutMs`: how long the box may take to report the lamp on or off, or the level asked for.
    IndiLightBox(IndiLink &link, const QString &name, int timeoutMs);

    // Whether a device offers what a light box must.
    static bool isLightBox(const IndiLink &link, const QString &device);

    QString id() const override;
    bool isOn() const override;
    void setLevel(int level, const Done &done) override;
    void switchOff(const Done &done) override;
    void settle(const Done &done) override;
    void restore(const std::function<void()> &done) override;
    QString fault() const override;

protected:
    QStringList neededProperties() const override;

private:
    bool isOwnDriver() const;
    bool lampShows(const QString &element) const;
    bool levelIs(int level) const;
    bool lampOn() const;
    QString levelRefused(int level) const;
    void sendLevel(int level, const Done &done);
    void awaitLamp(const QString &element, int pollsLeft, const std::function<void()> &done);

    int timeoutMs;
    bool switchedOn = false;  // the run switched the lamp on
    bool switchedOff = false; // the run switched the user's lamp off, for the flat-darks
    int levelReached = -1;
    QObject context;          // the polls of restore() end with the box
};
