// How a program switches the box's lamp on: a box does not always light at the first command.
// Header-only, so that it works on any velmora::Flat, a test double's included.
#pragma once

#include "velmora/flat.h"

#include <chrono>
#include <functional>
#include <thread>

namespace velmora {

constexpr int lampOnAttempts = 3;
constexpr std::chrono::milliseconds pauseAfterLampOn{200};

// Up to three turnOn() calls, each followed by a 200 ms pause whatever its status, until one returns Ok.
// `attempted` hears every attempt's number (1 to 3) and status once its pause is over. Returns the last status.
// It blocks for up to about 0.6 s plus the box's answers: call it where waiting is allowed, never on a GUI thread.
inline unsigned int switchLampOn(Flat &flat, const std::function<void(int attempt, unsigned int status)> &attempted = {})
{
    unsigned int status = NotConnected;
    for (int attempt = 1; attempt <= lampOnAttempts; ++attempt) {
        status = flat.turnOn();
        std::this_thread::sleep_for(pauseAfterLampOn);
        if (attempted)
            attempted(attempt, status);
        if (status == Ok)
            break;
    }
    return status;
}

} // namespace velmora
