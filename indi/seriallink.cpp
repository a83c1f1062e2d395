#include "seriallink.h"

#include "loopmailbox.h"

#include <indidevapi.h>

#include <sys/stat.h>

namespace {

constexpr int lampOnAttempts = 3;
// The box does not always light at the first command; the next attempt comes after this pause.
constexpr int pauseAfterTurnOnMs = 200;
// While the box is lost its port's path is looked at this often.
constexpr int watchPeriodMs = 250;

const char lostText[] = "the flat box is lost; waiting for it to come back";

std::string statusText(unsigned status)
{
    switch (status) {
    case velmora::NotConnected: return "not connected";
    case velmora::PortError: return "port error";
    case velmora::Timeout: return "no answer";
    case velmora::BadReply: return "unexpected answer";
    case velmora::OutOfRange: return "out of range";
    default: return "error " + std::to_string(status);
    }
}

} // namespace

bool SerialLink::PortNode::operator==(const PortNode &other) const
{
    return exists == other.exists && linkInode == other.linkInode && inode == other.inode && device == other.device;
}

SerialLink::SerialLink(const std::string &port, LoopMailbox &mailbox, BoxLinkEvents &events)
    : port(port)
    , mailbox(mailbox)
    , events(events)
{
}

SerialLink::~SerialLink()
{
    *alive = false;
    close();
}

bool SerialLink::open(LampState &state, std::string &product, std::string &firmware, std::string &dialect,
                      std::string &error)
{
    const unsigned status = flat.connect(port.c_str(), false);
    if (status != velmora::Ok) {
        flat.disconnect();
        error = "no flat box answers on " + port + " (" + statusText(status) + ")";
        return false;
    }
    velmora::Identity identity;
    velmora::BoxState boxState;
    const unsigned read = flat.readState(boxState);
    if (flat.getIdentity(identity) != velmora::Ok || read != velmora::Ok) {
        flat.disconnect();
        error = "the flat box on " + port + " did not report its lamp (" + statusText(read) + ")";
        return false;
    }
    product = std::to_string(identity.productId);
    firmware = identity.firmware;
    dialect = "terminator " + identity.terminator + ", filler " + identity.filler;
    last = {boxState.lampOn, boxState.brightness};
    state = last;
    connected = true;
    // The library may call this on a thread of its own: only the INDI loop's thread touches the driver.
    std::weak_ptr<bool> token = alive;
    flat.setLostHandler([this, token](const std::string &) {
        mailbox.post([this, token] {
            if (auto living = token.lock(); living && *living)
                boxGone();
        });
    });
    return true;
}

void SerialLink::close()
{
    connected = false;
    lost = false;
    stopWatch();
    if (retryTimer >= 0)
        IERmTimer(retryTimer);
    retryTimer = -1;
    queue.clear();
    running = false;
    flat.setLostHandler({});
    flat.disconnect();
}

void SerialLink::enqueue(std::function<void()> command)
{
    queue.push_back(std::move(command));
    if (!running)
        finish();
}

// Starts the next command, if any; every command calls this when it is done.
void SerialLink::finish()
{
    running = !queue.empty();
    if (!running)
        return;
    auto command = std::move(queue.front());
    queue.pop_front();
    command();
}

void SerialLink::failed(unsigned status, const char *what, const Done &done)
{
    if (status == velmora::NotConnected)
        boxGone(); // the library gave the box up during the call
    done(false, lost ? std::string(lostText) : std::string(what) + ": " + statusText(status), last);
}

void SerialLink::setLamp(bool on, unsigned level, Done done)
{
    (void)level; // the box keeps its level: the lamp lights at the level it was last given
    enqueue([this, on, done] {
        if (lost || !connected) {
            done(false, lostText, last);
            return finish();
        }
        if (on)
            return attemptTurnOn(lampOnAttempts, done);
        const unsigned status = flat.turnOff();
        if (status == velmora::Ok) {
            last.on = false;
            done(true, std::string(), last);
        } else {
            failed(status, "the lamp did not go out", done);
        }
        finish();
    });
}

void SerialLink::attemptTurnOn(int attemptsLeft, Done done)
{
    if (lost || !connected) {
        done(false, lostText, last);
        return finish();
    }
    const unsigned status = flat.turnOn();
    if (status == velmora::Ok) {
        last.on = true;
        done(true, std::string(), last);
        return finish();
    }
    if (status == velmora::NotConnected || attemptsLeft <= 1) {
        failed(status, "the lamp did not light", done);
        return finish();
    }
    retry = [this, attemptsLeft, done] { attemptTurnOn(attemptsLeft - 1, done); };
    retryTimer = IEAddTimer(pauseAfterTurnOnMs, &SerialLink::retryTick, this);
}

void SerialLink::retryTick(void *self)
{
    auto *link = static_cast<SerialLink *>(self);
    link->retryTimer = -1;
    auto next = std::move(link->retry);
    next();
}

void SerialLink::setLevel(unsigned level, Done done)
{
    enqueue([this, level, done] {
        if (lost || !connected) {
            done(false, lostText, last);
            return finish();
        }
        const unsigned status = flat.setBrightness(level);
        if (status == velmora::Ok) {
            last.level = level;
            done(true, std::string(), last);
        } else {
            failed(status, "the box refused the level", done);
        }
        finish();
    });
}

SerialLink::PortNode SerialLink::currentNode() const
{
    PortNode node;
    struct stat linkInfo{};
    struct stat info{};
    if (lstat(port.c_str(), &linkInfo) != 0 || stat(port.c_str(), &info) != 0)
        return node;
    node.exists = true;
    node.linkInode = linkInfo.st_ino;
    node.inode = info.st_ino;
    node.device = info.st_rdev;
    return node;
}

void SerialLink::boxGone()
{
    if (!connected || lost)
        return;
    lost = true;
    flat.disconnect(); // the port may still be open after a silent box was given up by a failed call
    events.boxLost("Flat box lost on " + port + "; waiting for it to come back.");
    nodeAtLoss = currentNode();
    startWatch();
}

void SerialLink::startWatch()
{
    if (watchTimer < 0)
        watchTimer = IEAddPeriodicTimer(watchPeriodMs, &SerialLink::watchTick, this);
}

void SerialLink::stopWatch()
{
    if (watchTimer >= 0)
        IERmTimer(watchTimer);
    watchTimer = -1;
}

void SerialLink::watchTick(void *self)
{
    static_cast<SerialLink *>(self)->watchPort();
}

// A box that comes back is a new node at the port's path (or a link to a new one); the same node is the lost
// box itself, still silent, and is not tried again.
void SerialLink::watchPort()
{
    const PortNode node = currentNode();
    if (node == nodeAtLoss)
        return;
    nodeAtLoss = node;
    if (!node.exists)
        return;
    if (flat.connect(port.c_str(), false) != velmora::Ok) {
        flat.disconnect();
        return;
    }
    if (!restore()) {
        flat.disconnect();
        return;
    }
    stopWatch();
    lost = false;
    events.boxBack(last, "Flat box back on " + port + ".");
}

// The box comes back from a reset: it gets the level first, then the lamp as it was.
bool SerialLink::restore()
{
    if (flat.setBrightness(last.level) != velmora::Ok)
        return false;
    return (last.on ? flat.turnOn() : flat.turnOff()) == velmora::Ok;
}
