// The flat assistant's rig for tests and the benchmark: the box simulator behind the project's INDI driver, Debian's
// indi_simulator_wheel and the model camera (or a faulty device), all under Debian's indiserver.
#pragma once

#include "flatassistant.h"
#include "flatboxsim.h"
#include "indiserver.h"

#include <QString>
#include <QStringList>

struct RigSetup
{
    QString box = QStringLiteral("measured-led"); // the model's light box (flatmodel::namedBox)
    QString bayer;                                // "" mono, or "RGGB", ...
    QString fault = QStringLiteral("none");       // the model camera's fault, and the frame it hits
    int faultAt = 1;
    QString aux;                                  // "lamp-only" or "stuck-wheel": the faulty device runs too
    // Tests take exposures this many times shorter than the model sees them: 0.05 s stand for 2 s.
    double timeScale = 40;
    // The panel's PWM (in the model's time): its frequency (negative: the box's own), the lamp's duty cycle (0: the
    // level's brightness), and the camera's rolling-shutter line time.
    double pwmHz = -1;
    double duty = 0;
    double lineTime = 0.0003;
};

class AssistantRig
{
public:
    static const QString light;
    static const QString wheel;
    static const QString camera;

    bool start(const RigSetup &setup = RigSetup());
    // The model camera takes this setup's box, time scale and fault (its colour and the faulty device stay).
    bool configure(const RigSetup &setup);
    const RigSetup &setup() const { return current; }
    QString errorText() const { return error; }

    // The run's options for these devices, with the user's exposures (2 s, 0.5 s, 60 s) scaled down as the camera's.
    AssistantOptions options(const QStringList &filters) const;
    double scaled(double modelSeconds) const { return modelSeconds / scale; }

    FlatBoxSim box;
    IndiServer indi;

private:
    QString error;
    double scale = 40;
    RigSetup current;
};

// The rig kept for the next test when it runs the same colour camera and faulty device, with the lamp switched off;
// a new one otherwise. Nullptr, with the error in `problem`, when it does not start.
AssistantRig *rigFor(std::unique_ptr<AssistantRig> &kept, const RigSetup &setup, QString &problem);

// Runs the assistant to its end (bounded); false when it did not end in time.
bool runToEnd(FlatAssistant &assistant, int timeoutMs = 30000);
