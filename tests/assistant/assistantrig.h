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
};

class AssistantRig
{
public:
    static const QString light;
    static const QString wheel;
    static const QString camera;

    bool start(const RigSetup &setup = RigSetup());
    QString errorText() const { return error; }

    // The run's options for these devices, with the user's exposures (2 s, 0.5 s, 60 s) scaled down as the camera's.
    AssistantOptions options(const QStringList &filters) const;
    double scaled(double modelSeconds) const { return modelSeconds / scale; }

    FlatBoxSim box;
    IndiServer indi;

private:
    QString error;
    double scale = 40;
};

// Runs the assistant to its end (bounded); false when it did not end in time.
bool runToEnd(FlatAssistant &assistant, int timeoutMs = 30000);
