#include "velmora/flat.h"

#include "dialectprobe.h"
#include "engine.h"
#include "liveness.h"
#include "portio.h"
#include "protocol.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace velmora {
namespace {

constexpr char libraryVersion[] = VELMORA_LIBRARY_VERSION;

constexpr int exchangeTimeoutMs = 500;
// Commands (the idle status query included) that time out this many times in a row mean the box is gone.
constexpr int timeoutsBeforeGivingUp = 2;
constexpr unsigned maxBrightness = 255;

constexpr char lightOn = 'L';
constexpr char lightOff = 'D';
constexpr char brightness = 'B';
constexpr char status = 'S';
constexpr char storedBrightness = 'J';

} // namespace

// Only Flat's own members are the library's interface; a nested class would otherwise share Flat's visibility.
#if defined(__GNUC__)
#define VELMORA_INTERNAL __attribute__((visibility("hidden")))
#else
#define VELMORA_INTERNAL
#endif

// The connection, run on the engine's thread:
//
//   Closed --connect, the box answered--> Ready
//   Ready --disconnect, connect, destruction--> Closed
//   Ready --given up--> Closed, and the lost handler is told
//
// Only Ready talks to the box. A connect runs from start to end as one job on the engine's thread, so nothing
// else ever sees it under way, and a box given up answers every call with NotConnected as a closed port does:
// these two states are all that any code tells apart. Ready is given up when the port fails or hangs up, its
// device node goes, or a counted command times out twice in a row (see flat.h).
struct VELMORA_INTERNAL Flat::Impl
{
    enum class State { Closed, Ready };

    Impl();
    ~Impl();

    void run(const std::function<void()> &job) { engine->runJob(job); }

    // Transitions; every state is entered through enter(), which does its resets.
    void enter(State next);
    void closeOnRequest();
    unsigned connectTo(const char *port, bool quick);
    void giveUp();
    unsigned settle(unsigned result);
    void logConnection() const;

    // Commands of a ready connection.
    unsigned exchange(char letter, const std::string &text, const std::string &payload, protocol::Reply &reply);
    unsigned send(char letter, const std::string &text, const std::string &payload);
    unsigned awaitAnswer(const QDeadlineTimer &deadline, protocol::Reply &reply);
    unsigned lampCommand(char letter, unsigned value, const std::string &payload);
    unsigned askStatus(protocol::Reply &reply);
    unsigned readLampAndLevel(BoxState &state);
    unsigned counted(unsigned result);
    Identity identity() const;

    // Liveness, between calls.
    long long watchedHandle() const { return state == State::Ready ? io->handle() : -1; }
    long long msUntilIdle() const { return state == State::Ready ? idle.msUntilDue() : -1; }
    void idleCheck();

    // The lost handler.
    struct Notice
    {
        std::string port;
        quint64 generation;
    };
    void probeOwnerLoop();
    void tellLost();
    void deliverPending();
    void deliver(const Notice &notice);

    State state = State::Closed;
    std::unique_ptr<PortIo> io; // made and used on the engine's thread
    protocol::ReplyMatcher matcher;
    IdleWatch idle;
    QElapsedTimer clock;
    DialectProbe::Found box; // what connect learned: product id, dialect, firmware
    std::string portName;
    int timeoutsInARow = 0;
    bool brightnessAcknowledged = false;
    unsigned acknowledgedBrightness = 0;

    // Counts connects and requested closes: a notice of a loss is void once the user has acted since.
    std::atomic<quint64> generation{0};
    std::mutex handlerMutex;
    std::function<void(const std::string &)> lostHandler;
    // The thread that made the object; it hears of losses from its event loop once it is seen to run one.
    std::unique_ptr<QObject> ownerAnchor;
    std::atomic<bool> ownerLoopSeen{false};
    bool noticePending = false;
    Notice pendingNotice;

    std::unique_ptr<Engine> engine;
};

Flat::Impl::Impl() : ownerAnchor(std::make_unique<QObject>())
{
    clock.start();
    Engine::Hooks hooks;
    hooks.watchedHandle = [this] { return watchedHandle(); };
    hooks.msUntilIdle = [this] { return msUntilIdle(); };
    hooks.hungUp = [this] { giveUp(); };
    hooks.idleWork = [this] { idleCheck(); };
    hooks.afterWork = [this] { deliverPending(); };
    engine = std::make_unique<Engine>(std::move(hooks));
    run([this] { io = std::make_unique<PortIo>(); });
    probeOwnerLoop();
}

// Closed first, so that no loss can be found any more; the anchor goes last, with the notices and
// probes still queued for it.
Flat::Impl::~Impl()
{
    run([this] {
        closeOnRequest();
        io.reset();
    });
    engine.reset();
    ownerAnchor.reset();
}

// A thread that runs a Qt event loop picks this up, and from then on hears of losses there. Without an
// application object no event is ever delivered, and the handler runs on the engine's thread.
void Flat::Impl::probeOwnerLoop()
{
    if (ownerLoopSeen || QCoreApplication::instance() == nullptr || ownerAnchor->thread()->eventDispatcher() == nullptr)
        return;
    QMetaObject::invokeMethod(
        ownerAnchor.get(), [this] { ownerLoopSeen = true; }, Qt::QueuedConnection);
}

void Flat::Impl::enter(State next)
{
    state = next;
    timeoutsInARow = 0;
    brightnessAcknowledged = false;
    if (next == State::Ready) {
        idle.start();
        probeOwnerLoop();
        return;
    }
    io->close();
    idle.stop();
    matcher.clear();
    box = DialectProbe::Found();
}

// The user's disconnect or connect closes the port: that is no loss.
void Flat::Impl::closeOnRequest()
{
    ++generation;
    enter(State::Closed);
}

void Flat::Impl::giveUp()
{
    const bool wasReady = state == State::Ready;
    enter(State::Closed);
    if (wasReady)
        tellLost();
}

// A port that failed is of no more use.
unsigned Flat::Impl::settle(unsigned result)
{
    if (result == PortError)
        giveUp();
    return result;
}

void Flat::Impl::tellLost()
{
    const Notice notice{portName, generation.load()};
    if (ownerLoopSeen) {
        QMetaObject::invokeMethod(
            ownerAnchor.get(), [this, notice] { deliver(notice); }, Qt::QueuedConnection);
        return;
    }
    pendingNotice = notice;
    noticePending = true;
}

// On the engine's thread, after the call that found the loss has returned to its caller.
void Flat::Impl::deliverPending()
{
    if (!noticePending)
        return;
    noticePending = false;
    deliver(pendingNotice);
}

void Flat::Impl::deliver(const Notice &notice)
{
    if (notice.generation != generation.load())
        return;
    std::function<void(const std::string &)> handler;
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        handler = lostHandler; // the handler may replace itself
    }
    if (!handler)
        return;
    try {
        handler(notice.port);
    } catch (const std::exception &error) {
        qWarning().noquote() << QStringLiteral("flat box: the lost handler threw: %1").arg(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        qWarning().noquote() << QStringLiteral("flat box: the lost handler threw");
    }
}

unsigned Flat::Impl::connectTo(const char *port, bool quick)
{
    closeOnRequest();
    if (port == nullptr || *port == '\0')
        return PortError;
    const unsigned opened = io->open(QString::fromUtf8(port));
    if (opened != Ok)
        return opened;
    portName = port;
    DialectProbe probe(*io, matcher, clock);
    DialectProbe::Found found;
    const unsigned result = probe.run(quick, found);
    if (result != Ok) {
        closeOnRequest();
        return result == NotConnected ? PortError : result; // the port failed under the probe
    }
    box = found;
    logConnection();
    enter(State::Ready);
    return Ok;
}

void Flat::Impl::logConnection() const
{
    qDebug().noquote() << QStringLiteral("flat box: product %1 firmware %2 terminator %3 filler %4")
                              .arg(QString::fromStdString(box.productId), QString::fromStdString(box.firmware),
                                   QLatin1String(protocol::terminatorName(box.dialect.terminator)),
                                   QLatin1String(protocol::fillerName(box.dialect.filler)));
}

// One command and its reply. What came in before is dropped; replies that answer earlier commands (a
// late answer, a duplicate, the answers a board kept while starting up) are passed over as they come.
unsigned Flat::Impl::exchange(char letter, const std::string &text, const std::string &payload,
                              protocol::Reply &reply)
{
    if (!io->isOpen())
        return NotConnected;
    brightnessAcknowledged = false;
    const QDeadlineTimer deadline(exchangeTimeoutMs);
    io->dropInput();
    const unsigned sent = send(letter, text, payload);
    if (sent != Ok)
        return sent;
    return awaitAnswer(deadline, reply);
}

unsigned Flat::Impl::send(char letter, const std::string &text, const std::string &payload)
{
    const unsigned written = settle(io->write(text));
    if (written != Ok)
        return written;
    matcher.sent(letter, payload, clock.elapsed());
    idle.activity();
    return Ok;
}

// The reply that answers the newest command sent; the product id must be this box's.
unsigned Flat::Impl::awaitAnswer(const QDeadlineTimer &deadline, protocol::Reply &reply)
{
    for (;;) {
        const unsigned result = settle(io->nextReply(deadline, reply));
        if (result != Ok)
            return result;
        if (matcher.take(reply, clock.elapsed()) == protocol::ReplyMatcher::Verdict::Stale)
            continue;
        if (reply.productId != box.productId)
            return BadReply;
        return Ok;
    }
}

// A counted command's result: two time-outs in a row give the box up.
unsigned Flat::Impl::counted(unsigned result)
{
    if (result != Timeout) {
        timeoutsInARow = 0;
        return result;
    }
    if (++timeoutsInARow >= timeoutsBeforeGivingUp)
        giveUp();
    return result;
}

// A lamp or brightness command: the reply must carry the same letter and, when given, the payload.
unsigned Flat::Impl::lampCommand(char letter, unsigned value, const std::string &payload)
{
    if (state != State::Ready)
        return NotConnected;
    protocol::Reply reply;
    const std::string text = letter == brightness ? protocol::command(letter, value, box.dialect)
                                                  : protocol::command(letter, box.dialect);
    const unsigned result = counted(exchange(letter, text, payload, reply));
    if (result != Ok)
        return result;
    const bool matches = reply.letter == letter && (payload.empty() || reply.payload == payload);
    return matches ? Ok : BadReply;
}

Identity Flat::Impl::identity() const
{
    Identity identity;
    identity.productId = std::atoi(box.productId.c_str());
    identity.firmware = box.firmware;
    identity.terminator = protocol::terminatorName(box.dialect.terminator);
    identity.filler = protocol::fillerName(box.dialect.filler);
    return identity;
}

// The lamp (">S") and then the level (">J"); both count toward giving up a silent box.
unsigned Flat::Impl::readLampAndLevel(BoxState &state)
{
    protocol::Reply lamp;
    unsigned result = counted(askStatus(lamp));
    if (result != Ok)
        return result;
    protocol::Reply level;
    result = counted(exchange(storedBrightness, protocol::command(storedBrightness, box.dialect), std::string(), level));
    if (result != Ok)
        return result;
    unsigned brightnessRead = 0;
    if (level.letter != storedBrightness || !protocol::parseLevel(level.payload, brightnessRead)
        || brightnessRead > maxBrightness)
        return BadReply;
    state.lampOn = lamp.payload[1] == '1';
    state.brightness = brightnessRead;
    return Ok;
}

unsigned Flat::Impl::askStatus(protocol::Reply &reply)
{
    if (state != State::Ready)
        return NotConnected;
    const unsigned result = exchange(status, protocol::command(status, box.dialect), std::string(), reply);
    if (result != Ok)
        return result;
    return reply.letter == status ? Ok : BadReply;
}

// Between calls: the device node every tick, and after quiet ticks the status, with a second chance.
void Flat::Impl::idleCheck()
{
    const IdleWatch::Check check = idle.take();
    if (io->nodeGone()) {
        giveUp();
        return;
    }
    if (check == IdleWatch::Check::Node)
        return;
    for (int chance = 0; chance < timeoutsBeforeGivingUp && state == State::Ready; ++chance) {
        protocol::Reply reply;
        if (askStatus(reply) != Timeout)
            return;
    }
    if (state == State::Ready)
        giveUp();
}

Flat::Flat() : d(new Impl)
{
}

Flat::~Flat()
{
    delete d;
}

void Flat::setLostHandler(std::function<void(const std::string &port)> handler)
{
    std::lock_guard<std::mutex> lock(d->handlerMutex);
    d->lostHandler = std::move(handler);
}

// `quick`: the box is known to be running (it does not reset when the port opens), so one
// ping decides instead of waiting out a boot loader.
unsigned int Flat::connect(const char *port, const bool &quick)
{
    unsigned result = PortError;
    const bool flag = quick;
    d->run([&] { result = d->connectTo(port, flag); });
    return result;
}

unsigned int Flat::connect(const char *port, const bool &quick, Identity &identity)
{
    unsigned result = PortError;
    const bool flag = quick;
    d->run([&] {
        result = d->connectTo(port, flag);
        if (result == Ok)
            identity = d->identity();
    });
    return result;
}

unsigned int Flat::disconnect()
{
    d->run([&] { d->closeOnRequest(); });
    return Ok;
}

unsigned int Flat::isFlatConnected(bool &connected)
{
    connected = false;
    unsigned result = NotConnected;
    d->run([&] {
        protocol::Reply reply;
        result = d->askStatus(reply);
    });
    connected = result == Ok;
    return result;
}

unsigned int Flat::turnOn()
{
    unsigned result = NotConnected;
    d->run([&] { result = d->lampCommand(lightOn, 0, std::string()); });
    return result;
}

unsigned int Flat::turnOff()
{
    unsigned result = NotConnected;
    d->run([&] { result = d->lampCommand(lightOff, 0, std::string()); });
    return result;
}

// The window sends every slider change twice: a level the box has just acknowledged, with
// nothing sent since, is not sent again.
unsigned int Flat::setBrightness(const unsigned &level)
{
    if (level > maxBrightness)
        return OutOfRange;
    const unsigned wanted = level;
    unsigned result = NotConnected;
    d->run([&] {
        if (d->state != Impl::State::Ready)
            return;
        if (d->brightnessAcknowledged && d->acknowledgedBrightness == wanted) {
            result = Ok;
            return;
        }
        result = d->lampCommand(brightness, wanted, protocol::threeDigits(wanted));
        if (result == Ok) {
            d->brightnessAcknowledged = true;
            d->acknowledgedBrightness = wanted;
        }
    });
    return result;
}

unsigned int Flat::getIdentity(Identity &identity)
{
    unsigned result = NotConnected;
    d->run([&] {
        if (d->state != Impl::State::Ready)
            return;
        identity = d->identity();
        result = Ok;
    });
    return result;
}

unsigned int Flat::readState(BoxState &state)
{
    unsigned result = NotConnected;
    d->run([&] { result = d->readLampAndLevel(state); });
    return result;
}

unsigned int Flat::getAPIversion(std::string &version)
{
    version = libraryVersion;
    return Ok;
}

} // namespace velmora
