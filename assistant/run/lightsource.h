// The light box as the run uses it, whether an INDI driver or an Alpaca CoverCalibrator drives it. Each call answers
// once through `done`, from the event loop, with an empty error when the box did it, or with an error that names the
// box; each bounds its own wait. A call replaces one still under way, whose answer is then dropped.
#pragma once

#include <QString>

#include <functional>

class LightSource
{
public:
    using Done = std::function<void(const QString &error)>;
    virtual ~LightSource() = default;

    // The box as its memory of curves and filter rates knows it.
    virtual QString id() const = 0;
    virtual bool isOn() const = 0;
    // The lamp on, at this level.
    virtual void setLevel(int level, const Done &done) = 0;
    // The lamp off, for the flat-darks.
    virtual void switchOff(const Done &done) = 0;
    // Once the wheel moved: a box with per-filter presets may still move its lamp.
    virtual void settle(const Done &done) { done(QString()); }
    // The lamp as the run found it: off again where the run switched it on, on again where it switched the user's
    // lamp off. Always answers, with no error: the run is ending.
    virtual void restore(const std::function<void()> &done) = 0;
};
