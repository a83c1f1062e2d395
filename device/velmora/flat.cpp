#include "velmora/flat.h"

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
// An Arduino board resets when its port opens: its boot loader hears nothing for up to 2 s, and
// some firmwares wait up to 2 s more before they read. The first answer may come 4.5 s after the open.
constexpr int bootWaitMs = 5000;
// Rounds of queries go out at this pace while the box boots, alternately with each filler.
constexpr int probePeriodMs = 75;
// With `quick`, the box is taken to be running: the rounds it gets have this long.
constexpr int quickWaitMs = 300;
// A box answers a query it has read within this, on the line and through the USB adapter: the
// second answer of a round, or the answer to a query that may be lost, is waited for this long.
constexpr int promptAnswerMs = 45;
// After the first answer, the answers to every round the box kept while starting up may follow (a
// board with native USB keeps all of them): they have all come when the line has been this quiet.
constexpr int quietGapMs = 40;
constexpr int backlogLimitMs = 1500; // some 180 answers at 9600 baud
constexpr std::size_t backlogBytesKept = 4096;
// Commands (the idle status query included) that time out this many times in a row mean the box is gone.
constexpr int timeoutsBeforeGivingUp = 2;
constexpr unsigned maxBrightness = 255;

constexpr char ping = 'P';
constexpr char lightOn = 'L';
constexpr char lightOff = 'D';
constexpr char brightness = 'B';
constexpr char status = 'S';
constexpr char version = 'V';
constexpr char storedBrightness = 'J';

protocol::Filler otherFiller(protocol::Filler filler)
{
    return filler == protocol::Filler::Digit ? protocol::Filler::Letter : protocol::Filler::Digit;
}

// A round of two queries in one write, ">S000\r>P000\r\n" (">JOOO\r>VOOO\r\n" with the other filler),
// that every firmware answers when it reads its filler:
// - one that reads up to "\n" reads the whole as one command and answers the first query only;
// - one that reads up to "\r" answers the second, and the first too unless the "\n" of the round
//   before is still waiting in front of it (it arrives after such a firmware has emptied its input).
// So an answer to the second query means "\r", an answer to the first alone "\n"; the letters tell
// the filler.
struct Round
{
    char first;
    char second;
};

Round roundFor(protocol::Filler filler)
{
    return filler == protocol::Filler::Digit ? Round{status, ping} : Round{storedBrightness, version};
}

std::string roundText(protocol::Filler filler)
{
    const Round round = roundFor(filler);
    const protocol::Dialect cr{protocol::Terminator::Cr, filler};
    return protocol::command(round.first, cr) + protocol::command(round.second, cr) + "\n";
}

protocol::Filler fillerAnswering(char letter)
{
    return letter == status || letter == ping ? protocol::Filler::Digit : protocol::Filler::Letter;
}

bool answersARound(const protocol::Reply &reply)
{
    return reply.letter == status || reply.letter == ping || reply.letter == storedBrightness
           || reply.letter == version;
}

} // namespace

// Only Flat's own members are the library's interface; a nested class would otherwise share Flat's visibility.
#if defined(__GNUC__)
#define VELMORA_INTERNAL __attribute__((visibility("hidden")))
#else
#define VELMORA_INTERNAL
#endif

// The connection, run on the engine's thread:
//
//   Closed --connect--> Connecting --the box answered--> Ready --given up--> Lost
//                       Connecting --no box-----------> Closed
//   any state --disconnect, connect, destruction--> Closed
//
// Only Ready talks to the box. Ready is given up when the port fails or hangs up, its device node
// goes, or a command (the idle status query too) times out twice in a row; Lost then answers every
// call with NotConnected and tells the lost handler once.
struct VELMORA_INTERNAL Flat::Impl
{
    enum class State { Closed, Connecting, Ready, Lost };

    Impl();
    ~Impl();

    void run(const std::function<void()> &job) { engine->runJob(job); }

    // Transitions.
    void closeOnRequest();
    unsigned connectTo(const char *port, bool quick);
    void giveUp();
    unsigned settle(unsigned result);

    // Connect's steps.
    unsigned awaitBox(bool quick, protocol::Reply &firstAnswer, bool &onlyRound);
    void skipBacklog();
    unsigned identifyDialect(const protocol::Reply &firstAnswer, bool onlyRound);
    unsigned readRound(protocol::Filler filler, const protocol::Reply *alreadyAnswered);
    unsigned awaitRoundAnswer(const QDeadlineTimer &deadline, Round round, protocol::Reply &reply);
    void clearHeldLineEnd();
    unsigned askVersion();
    void logConnection() const;

    // Commands of a ready connection.
    unsigned exchange(char letter, const std::string &text, const std::string &payload, protocol::Reply &reply);
    unsigned send(char letter, const std::string &text, const std::string &payload);
    unsigned awaitAnswer(const QDeadlineTimer &deadline, protocol::Reply &reply);
    unsigned lampCommand(char letter, unsigned value, const std::string &payload);
    unsigned askStatus(protocol::Reply &reply);
    void countTimeout(unsigned result);

    // Liveness, between calls.
    int watchedHandle() const { return state == State::Ready ? io->handle() : -1; }
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
    std::string productId;
    protocol::Dialect dialect;
    std::string firmwareVersion;
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

Flat::Impl::~Impl()
{
    ownerAnchor.reset(); // no queued notice reaches this object any more
    run([this] {
        closeOnRequest();
        io.reset();
    });
    engine.reset();
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

// The user's disconnect or connect closes the port: that is no loss.
void Flat::Impl::closeOnRequest()
{
    ++generation;
    io->close();
    state = State::Closed;
    idle.stop();
    matcher.clear();
    productId.clear();
    dialect = protocol::Dialect();
    timeoutsInARow = 0;
    brightnessAcknowledged = false;
}

void Flat::Impl::giveUp()
{
    const bool wasReady = state == State::Ready;
    io->close();
    idle.stop();
    matcher.clear();
    timeoutsInARow = 0;
    brightnessAcknowledged = false;
    if (!wasReady) {
        state = State::Closed;
        return;
    }
    state = State::Lost;
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
    state = State::Connecting;
    portName = port;
    protocol::Reply firstAnswer;
    bool onlyRound = false;
    unsigned result = awaitBox(quick, firstAnswer, onlyRound);
    if (result == Ok) {
        productId = firstAnswer.productId;
        result = identifyDialect(firstAnswer, onlyRound);
    }
    if (result != Ok) {
        closeOnRequest();
        return result;
    }
    state = State::Ready;
    idle.start();
    probeOwnerLoop();
    return Ok;
}

// Sends rounds until the box answers: a board that has just reset stays silent through its boot
// loader. The fillers take turns, for firmwares that read only one. `onlyRound`: the answer can
// only be to the one round sent.
unsigned Flat::Impl::awaitBox(bool quick, protocol::Reply &firstAnswer, bool &onlyRound)
{
    const QDeadlineTimer until(quick ? quickWaitMs : bootWaitMs);
    protocol::Filler filler = protocol::Filler::Digit;
    unsigned result = Timeout;
    int rounds = 0;
    while (!until.hasExpired()) {
        ++rounds;
        const unsigned sent = io->write(roundText(filler));
        if (sent != Ok)
            return sent;
        QDeadlineTimer pace(qMin<qint64>(probePeriodMs, until.remainingTime()));
        for (;;) {
            protocol::Reply reply;
            const unsigned got = io->nextReply(pace, reply);
            if (got == Ok && answersARound(reply)) {
                firstAnswer = reply;
                onlyRound = rounds == 1;
                return Ok;
            }
            // A reply on its way is awaited before the next round, so that it is known to answer this one.
            if (got == Timeout && io->lineBegun() && !until.hasExpired()) {
                pace = QDeadlineTimer(qMin<qint64>(promptAnswerMs, until.remainingTime()));
                continue;
            }
            if (got == Timeout)
                break;
            if (got != Ok && got != BadReply)
                return got;
            result = BadReply; // a box that answers nonsense still gets rounds only at the pace
        }
        filler = otherFiller(filler);
    }
    return result;
}

// Waits until the answers to every round that the box kept while starting up have come and the line
// has been quiet, however many there are: a board with native USB keeps all that was sent meanwhile.
void Flat::Impl::skipBacklog()
{
    const QDeadlineTimer limit(backlogLimitMs);
    while (!limit.hasExpired()) {
        if (io->readMore(QDeadlineTimer(quietGapMs)) != Ok)
            break;
        if (io->inputSize() > backlogBytesKept)
            io->dropInput();
    }
    io->dropInput();
}

// Answers of the round's letters only: answers to earlier rounds may still come.
unsigned Flat::Impl::awaitRoundAnswer(const QDeadlineTimer &deadline, Round round, protocol::Reply &reply)
{
    for (;;) {
        const unsigned result = io->nextReply(deadline, reply);
        if (result != Ok)
            return result;
        if (reply.letter != round.first && reply.letter != round.second)
            continue;
        return reply.productId == productId ? Ok : BadReply;
    }
}

// The answers to one round: the first within the exchange bound, a second one shortly after it.
unsigned Flat::Impl::readRound(protocol::Filler filler, const protocol::Reply *alreadyAnswered)
{
    const Round round = roundFor(filler);
    bool secondAnswered = alreadyAnswered && alreadyAnswered->letter == round.second;
    protocol::Reply reply;
    if (!alreadyAnswered) {
        const unsigned result = awaitRoundAnswer(QDeadlineTimer(exchangeTimeoutMs), round, reply);
        if (result != Ok)
            return result;
        secondAnswered = reply.letter == round.second;
    }
    const QDeadlineTimer limit(exchangeTimeoutMs);
    while (!secondAnswered && !limit.hasExpired()) {
        const unsigned result = awaitRoundAnswer(QDeadlineTimer(promptAnswerMs), round, reply);
        if (result == Ok)
            secondAnswered = reply.letter == round.second;
        else if (result != Timeout || !io->lineBegun())
            break; // nothing more on its way
    }
    dialect.filler = filler;
    dialect.terminator = secondAnswered ? protocol::Terminator::Cr : protocol::Terminator::Lf;
    if (reply.letter == version)
        firmwareVersion = reply.payload;
    return Ok;
}

// After the box answered, a round in the filler it answered to (the other one if it stays silent)
// tells its dialect. Answers to earlier rounds are waited out first.
unsigned Flat::Impl::identifyDialect(const protocol::Reply &firstAnswer, bool onlyRound)
{
    firmwareVersion.clear();
    const protocol::Filler hint = fillerAnswering(firstAnswer.letter);
    unsigned result = Timeout;
    if (onlyRound) {
        if (firstAnswer.letter == version)
            firmwareVersion = firstAnswer.payload;
        result = readRound(hint, &firstAnswer);
    } else {
        skipBacklog();
        for (const protocol::Filler filler : {hint, otherFiller(hint)}) {
            result = io->write(roundText(filler));
            if (result == Ok)
                result = readRound(filler, nullptr);
            if (result != Timeout)
                break;
        }
    }
    if (result != Ok)
        return result;
    if (dialect.terminator == protocol::Terminator::Cr)
        clearHeldLineEnd();
    if (!io->isOpen())
        return PortError;
    if (firmwareVersion.empty())
        result = askVersion();
    if (result == Ok)
        logConnection();
    return result;
}

// A firmware that reads up to "\r" still holds the round's "\n": a query it may lose (">J", whose
// answer nothing else waits for) clears it before the version is asked. Unanswered, its late answer
// is passed over.
void Flat::Impl::clearHeldLineEnd()
{
    if (send(storedBrightness, protocol::command(storedBrightness, dialect), std::string()) != Ok)
        return;
    protocol::Reply reply;
    awaitAnswer(QDeadlineTimer(promptAnswerMs), reply);
}

// The firmware's version, asked in the dialect found.
unsigned Flat::Impl::askVersion()
{
    protocol::Reply reply;
    const unsigned result = exchange(version, protocol::command(version, dialect), std::string(), reply);
    if (result != Ok)
        return result;
    if (reply.letter != version)
        return BadReply;
    firmwareVersion = reply.payload;
    return Ok;
}

void Flat::Impl::logConnection() const
{
    qDebug().noquote() << QStringLiteral("flat box: product %1 firmware %2 terminator %3 filler %4")
                              .arg(QString::fromStdString(productId), QString::fromStdString(firmwareVersion),
                                   QLatin1String(protocol::terminatorName(dialect.terminator)),
                                   QLatin1String(protocol::fillerName(dialect.filler)));
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
        if (!productId.empty() && reply.productId != productId)
            return BadReply;
        return Ok;
    }
}

void Flat::Impl::countTimeout(unsigned result)
{
    if (result != Timeout) {
        timeoutsInARow = 0;
        return;
    }
    if (++timeoutsInARow >= timeoutsBeforeGivingUp)
        giveUp();
}

// A lamp or brightness command: the reply must carry the same letter and, when given, the payload.
unsigned Flat::Impl::lampCommand(char letter, unsigned value, const std::string &payload)
{
    if (state != State::Ready)
        return NotConnected;
    protocol::Reply reply;
    const std::string text = letter == brightness ? protocol::command(letter, value, dialect)
                                                  : protocol::command(letter, dialect);
    const unsigned result = exchange(letter, text, payload, reply);
    countTimeout(result);
    if (result != Ok)
        return result;
    const bool matches = reply.letter == letter && (payload.empty() || reply.payload == payload);
    return matches ? Ok : BadReply;
}

unsigned Flat::Impl::askStatus(protocol::Reply &reply)
{
    if (state != State::Ready)
        return NotConnected;
    const unsigned result = exchange(status, protocol::command(status, dialect), std::string(), reply);
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
        identity.productId = std::atoi(d->productId.c_str());
        identity.firmware = d->firmwareVersion;
        identity.terminator = protocol::terminatorName(d->dialect.terminator);
        identity.filler = protocol::fillerName(d->dialect.filler);
        result = Ok;
    });
    return result;
}

unsigned int Flat::readState(BoxState &state)
{
    unsigned result = NotConnected;
    d->run([&] {
        protocol::Reply lamp;
        result = d->askStatus(lamp);
        if (result != Ok)
            return;
        protocol::Reply level;
        result = d->exchange(storedBrightness, protocol::command(storedBrightness, d->dialect), std::string(), level);
        if (result != Ok)
            return;
        unsigned brightnessRead = 0;
        if (level.letter != storedBrightness || !protocol::parseLevel(level.payload, brightnessRead)
            || brightnessRead > maxBrightness) {
            result = BadReply;
            return;
        }
        state.lampOn = lamp.payload[1] == '1';
        state.brightness = brightnessRead;
    });
    return result;
}

unsigned int Flat::getAPIversion(std::string &version)
{
    version = libraryVersion;
    return Ok;
}

} // namespace velmora
