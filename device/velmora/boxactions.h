// The box's actions as every program built on the library carries them out: connect and read, the lamp-on
// attempts, light at a level, switch off, and restore after a return. Each is written here once.
// Header-only, so that it works on any velmora::Flat, a test double's included. Every one blocks while the box
// answers (and, for the lamp-on attempts, while they pause): call them where waiting is allowed, never on a GUI
// thread.
#pragma once

#include "velmora/flat.h"

#include <chrono>
#include <functional>
#include <thread>

namespace velmora {

// The step of an action that did not work.
enum class ActionStep { None, Connect, ReadState, Level, Lamp };

struct ActionOutcome
{
    unsigned int status = Ok; // the status of the step that failed, Ok when none did
    ActionStep failed = ActionStep::None;

    bool succeeded() const { return failed == ActionStep::None; }
};

// What connect learned of the box and what the box then reported of its lamp.
struct BoxReading
{
    Identity identity;
    BoxState lamp;
};

constexpr int lampOnAttempts = 3;
constexpr std::chrono::milliseconds lampOnPause{200};

// Where the lamp-on attempts wait.
enum class LampOnPause {
    // The panel's lamp switch: 200 ms after every attempt, whatever its status.
    AfterEveryAttempt,
    // Everyone else: 200 ms before a second or third attempt only, so that a lamp that lights at once is on at once.
    BeforeRetry
};

// Hears every lamp-on attempt's number (1 to 3) and status, after its pause when the pause follows it.
using LampOnAttemptSeen = std::function<void(int attempt, unsigned int status)>;

// Up to three turnOn() calls until one returns Ok; a box does not always light at the first command. Returns the
// last status.
inline unsigned int switchLampOn(Flat &flat, LampOnPause pause, const LampOnAttemptSeen &attempted = {})
{
    unsigned int status = NotConnected;
    for (int attempt = 1; attempt <= lampOnAttempts; ++attempt) {
        if (pause == LampOnPause::BeforeRetry && attempt > 1)
            std::this_thread::sleep_for(lampOnPause);
        status = flat.turnOn();
        if (pause == LampOnPause::AfterEveryAttempt)
            std::this_thread::sleep_for(lampOnPause);
        if (attempted)
            attempted(attempt, status);
        if (status == Ok)
            break;
    }
    return status;
}

// Connects `port` (flag false) and reads the lamp's state and level as the box reports them: many boxes light up at
// power-up. A box that connects but does not report its lamp is disconnected again (failed step ReadState); after a
// failed connect the port is closed already (failed step Connect).
inline ActionOutcome connectAndRead(Flat &flat, const char *port, BoxReading &reading)
{
    const bool flag = false;
    const unsigned int connected = flat.connect(port, flag, reading.identity);
    if (connected != Ok)
        return {connected, ActionStep::Connect};
    const unsigned int read = flat.readState(reading.lamp);
    if (read == Ok)
        return {};
    flat.disconnect();
    return {read, ActionStep::ReadState};
}

// The level first, so that the lamp lights at it, then the lamp-on attempts, pausing only before a retry.
inline ActionOutcome lightAtLevel(Flat &flat, unsigned int level, const LampOnAttemptSeen &attempted = {})
{
    const unsigned int set = flat.setBrightness(level);
    if (set != Ok)
        return {set, ActionStep::Level};
    const unsigned int lit = switchLampOn(flat, LampOnPause::BeforeRetry, attempted);
    return lit == Ok ? ActionOutcome{} : ActionOutcome{lit, ActionStep::Lamp};
}

// Brightness 0 reaches the box before the lamp goes out, as the panel's switch does it; whether the lamp went out
// is what counts.
inline ActionOutcome switchOff(Flat &flat)
{
    flat.setBrightness(0);
    const unsigned int off = flat.turnOff();
    return off == Ok ? ActionOutcome{} : ActionOutcome{off, ActionStep::Lamp};
}

// A box back after it was lost has reset, and may have lit itself at power-up: it is connected on `port` and given
// the lamp and level it had, the level first, then the lamp on (pausing only before a retry) or off. `identity`
// is what the connect found (another box may have been plugged in). A box that connects stays connected whatever
// the lamp's steps give. `stillWanted`, when given, is asked once connected: false (the program is ending) leaves
// the lamp and level alone.
inline ActionOutcome restoreAfterReturn(Flat &flat, const char *port, const BoxState &wanted, Identity &identity,
                                        const LampOnAttemptSeen &attempted = {},
                                        const std::function<bool()> &stillWanted = {})
{
    const bool flag = false;
    const unsigned int connected = flat.connect(port, flag, identity);
    if (connected != Ok)
        return {connected, ActionStep::Connect};
    if (stillWanted && !stillWanted())
        return {};
    if (wanted.lampOn)
        return lightAtLevel(flat, wanted.brightness, attempted);
    const unsigned int set = flat.setBrightness(wanted.brightness);
    if (set != Ok)
        return {set, ActionStep::Level};
    const unsigned int off = flat.turnOff();
    return off == Ok ? ActionOutcome{} : ActionOutcome{off, ActionStep::Lamp};
}

} // namespace velmora
