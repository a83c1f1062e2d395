// One way to reach the box: its serial port through the device library, or the running panel's Alpaca
// CoverCalibrator. Every call and every callback happens on the INDI loop's thread.
#pragma once

#include <functional>
#include <string>

struct LampState
{
    bool on = false;
    unsigned level = 0; // 0 to 255
};

// What was reached, as VELMORA_BOX shows it.
struct BoxIdentity
{
    std::string product;
    std::string firmware;
    std::string dialect;
};

// What the driver hears from a link between its own commands.
class BoxLinkEvents
{
public:
    virtual ~BoxLinkEvents() = default;
    // The box (or the panel) is gone; the link waits for it to come back.
    virtual void boxLost(const std::string &message) = 0;
    // It is back, with the lamp as it is now and what is now behind the link (another box may have been plugged in).
    virtual void boxBack(const LampState &state, const BoxIdentity &identity, const std::string &message) = 0;
    // Someone else changed the lamp (the panel's window or another Alpaca client).
    virtual void lampChangedElsewhere(const LampState &state) = 0;
};

class BoxLink
{
public:
    // ok false: `error` says why; `state` is the lamp as the link knows it afterwards.
    using Done = std::function<void(bool ok, const std::string &error, const LampState &state)>;

    virtual ~BoxLink() = default;

    // Blocks until the box answers or the link gives up (the one long wait the driver allows itself).
    // On success `state` is the lamp as the box reports it and `identity` describes what was reached.
    virtual bool open(LampState &state, BoxIdentity &identity, std::string &error) = 0;
    virtual void close() = 0;
    // Commands run one after the other; `done` comes once the box has confirmed (or refused) it.
    virtual void setLamp(bool on, unsigned level, Done done) = 0;
    virtual void setLevel(unsigned level, Done done) = 0;
};
