#include "seriallink.h"

#include "loopmailbox.h"

#include "velmora/boxactions.h"
#include "velmora/statusnames.h"

#include <indidevapi.h>

#include <future>

namespace {

// While the box is lost its port's path is looked at this often.
constexpr int watchPeriodMs = 250;
// The INDI loop waits this long for a command of one exchange (the library's 500 ms, and a little more).
constexpr int oneExchangeMs = 600;

const char lostText[] = "the flat box is lost; waiting for it to come back";

BoxIdentity identityOf(const velmora::Identity &identity)
{
    return {std::to_string(identity.productId), identity.firmware,
            "terminator " + identity.terminator + ", filler " + identity.filler};
}

} // namespace

SerialLink::Worker::Worker() : thread([this] { loop(); })
{
}

SerialLink::Worker::~Worker()
{
    stop();
}

void SerialLink::Worker::run(std::function<void()> job)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (stopping)
            return;
        jobs.push_back(std::move(job));
    }
    wake.notify_all();
}

void SerialLink::Worker::stop()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        jobs.clear();
    }
    wake.notify_all();
    if (thread.joinable())
        thread.join();
}

void SerialLink::Worker::loop()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !jobs.empty(); });
        if (stopping)
            return;
        std::function<void()> job = std::move(jobs.front());
        jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
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

void SerialLink::toLoop(std::function<void()> job)
{
    std::weak_ptr<bool> token = alive;
    mailbox.post([token, job = std::move(job)] {
        if (auto living = token.lock(); living && *living)
            job();
    });
}

bool SerialLink::open(LampState &state, BoxIdentity &identity, std::string &error)
{
    auto outcome = std::make_shared<std::promise<bool>>();
    std::future<bool> opened = outcome->get_future();
    worker->run([this, outcome, &state, &identity, &error] { outcome->set_value(connectBox(state, identity, error)); });
    bool ok = false;
    try {
        ok = opened.get();
    } catch (const std::future_error &) {
        error = "the link to " + port + " is closed";
    }
    if (!ok)
        return false;
    last = state;
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

// The box's identity comes with the connect; its lamp is read as it is, without touching it.
bool SerialLink::connectBox(LampState &state, BoxIdentity &identity, std::string &error)
{
    velmora::BoxReading reading;
    const velmora::ActionOutcome outcome = velmora::connectAndRead(flat, port.c_str(), reading);
    if (outcome.failed == velmora::ActionStep::Connect) {
        error = "no flat box answers on " + port + " (" + velmora::statusName(outcome.status) + ")";
        return false;
    }
    if (!outcome.succeeded()) {
        error = "the flat box on " + port + " did not report its lamp (" + velmora::statusName(outcome.status) + ")";
        return false;
    }
    identity = identityOf(reading.identity);
    state = {reading.lamp.lampOn, reading.lamp.brightness};
    return true;
}

void SerialLink::close()
{
    connected = false;
    lost = false;
    reconnecting = false;
    stopWatch();
    flat.setLostHandler({});
    worker->stop();
    flat.disconnect();
}

void SerialLink::commandDone(unsigned status, const char *what, const LampState &state, const Done &done)
{
    if (status == velmora::Ok) {
        last = state;
        done(true, std::string(), last);
        return;
    }
    if (status == velmora::NotConnected)
        boxGone(); // the library gave the box up during the call
    done(false, lost ? std::string(lostText) : std::string(what) + ": " + velmora::statusName(status), last);
}

namespace {

// A command's status, handed from the worker to the INDI loop: at once while the loop still waits for it, otherwise
// through the mailbox. A command may let the loop go before it ends (the lamp-on attempts after a refused one).
struct Handover
{
    std::mutex mutex;
    std::condition_variable ready;
    bool done = false;
    bool loopWaits = false;
    bool released = false;
    unsigned status = velmora::NotConnected;
};

} // namespace

void SerialLink::runCommand(Command command, int waitMs, std::function<void(unsigned)> finish)
{
    auto handover = std::make_shared<Handover>();
    handover->loopWaits = waitMs > 0;
    worker->run([this, command = std::move(command), handover, finish] {
        const auto letLoopGo = [handover] {
            const std::lock_guard<std::mutex> lock(handover->mutex);
            handover->released = true;
            handover->ready.notify_all();
        };
        const unsigned status = command(letLoopGo);
        std::unique_lock<std::mutex> lock(handover->mutex);
        handover->status = status;
        handover->done = true;
        if (handover->loopWaits && !handover->released) {
            handover->ready.notify_all();
            return;
        }
        lock.unlock();
        toLoop([finish, status] { finish(status); });
    });
    if (waitMs <= 0)
        return;
    std::unique_lock<std::mutex> lock(handover->mutex);
    const bool answered = handover->ready.wait_for(lock, std::chrono::milliseconds(waitMs), [&handover] {
        return handover->done || handover->released;
    });
    if (!answered || handover->released) {
        handover->loopWaits = false;
        return;
    }
    const unsigned status = handover->status;
    lock.unlock();
    finish(status);
}

// The INDI loop waits for the first lamp-on attempt: a lamp that lights at once is answered without a Busy. After a
// refused attempt it goes on, and the retries' outcome comes through the mailbox.
void SerialLink::setLamp(bool on, unsigned level, Done done)
{
    (void)level; // the box keeps its level: the lamp lights at the level it was last given, FLAT_LIGHT_OFF keeps it
    if (lost || !connected)
        return done(false, lostText, last);
    LampState wanted = last;
    wanted.on = on;
    const char *failure = on ? "the lamp did not light" : "the lamp did not go out";
    runCommand(
        [this, on](const std::function<void()> &letLoopGo) {
            if (!on)
                return flat.turnOff();
            return velmora::switchLampOn(flat, velmora::LampOnPause::BeforeRetry, [&letLoopGo](int, unsigned status) {
                if (status != velmora::Ok)
                    letLoopGo();
            });
        },
        oneExchangeMs, [this, failure, wanted, done](unsigned status) { commandDone(status, failure, wanted, done); });
}

void SerialLink::setLevel(unsigned level, Done done)
{
    if (lost || !connected)
        return done(false, lostText, last);
    LampState wanted = last;
    wanted.level = level;
    runCommand([this, level](const std::function<void()> &) { return flat.setBrightness(level); }, oneExchangeMs,
               [this, wanted, done](unsigned status) { commandDone(status, "the box refused the level", wanted, done); });
}

void SerialLink::boxGone()
{
    if (!connected || lost)
        return;
    lost = true;
    worker->run([this] { flat.disconnect(); }); // a silent box given up by a failed call may still hold its port
    events.boxLost("Flat box lost on " + port + "; waiting for it to come back.");
    portReturn = velmora::PortReturn(port);
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

// A box plugged in again is connected and given the lamp as it was; what it is (another box, perhaps) is taken
// from the connect.
void SerialLink::watchPort()
{
    if (reconnecting || !portReturn.hasComeBack())
        return;
    reconnecting = true;
    const LampState wanted = last;
    worker->run([this, wanted] {
        velmora::Identity found;
        const velmora::BoxState lamp{wanted.on, wanted.level};
        const bool back = velmora::restoreAfterReturn(flat, port.c_str(), lamp, found).succeeded();
        if (!back)
            flat.disconnect();
        const BoxIdentity identity = identityOf(found);
        toLoop([this, back, wanted, identity] {
            reconnecting = false;
            if (!back || !lost)
                return;
            stopWatch();
            lost = false;
            last = wanted;
            events.boxBack(last, identity, "Flat box back on " + port + ".");
        });
    });
}
