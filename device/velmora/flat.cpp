#include "velmora/flat.h"

#include "protocol.h"

#include <QAbstractEventDispatcher>
#include <QDeadlineTimer>
#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QString>
#include <QThread>
#include <QTimer>

#include <cstdlib>
#include <deque>
#include <functional>
#include <iterator>

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
// After the first answer, a burst of answers to rounds it kept while starting up may follow.
constexpr int quietGapMs = 20;
constexpr int quietLimitMs = 250;
// A reply can come this late, after the firmware's own 1 s read time-out; older commands are
// no longer waited for.
constexpr int lateReplyHorizonMs = 1500;
constexpr std::size_t maxOutstanding = 32;
// Lamp and brightness commands that time out this many times in a row mean the box is gone.
constexpr int timeoutsBeforeGivingUp = 2;
constexpr unsigned maxBrightness = 255;
// While a connected box is sent nothing, its device node is looked at every second, and after two
// quiet seconds the box is asked for its status once.
constexpr int idleTickMs = 1000;
constexpr int idleTicksBeforeQuery = 2;
// Bytes Qt may hold for us between calls: a box that chatters cannot fill the memory.
constexpr qint64 readBufferLimit = 4096;

constexpr char ping = 'P';
constexpr char lightOn = 'L';
constexpr char lightOff = 'D';
constexpr char brightness = 'B';
constexpr char status = 'S';
constexpr char version = 'V';
constexpr char storedBrightness = 'J';

// Errors after which the port is of no more use. A pty whose other end has closed reports
// read errors again and again, at full speed, for as long as it stays open.
bool meansDeviceGone(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
           || error == QSerialPort::WriteError;
}

protocol::Filler otherFiller(protocol::Filler filler)
{
    return filler == protocol::Filler::Digit ? protocol::Filler::Letter : protocol::Filler::Digit;
}

} // namespace

// Only Flat's own members are the library's interface; a nested class would otherwise share Flat's visibility.
#if defined(__GNUC__)
#define VELMORA_INTERNAL __attribute__((visibility("hidden")))
#else
#define VELMORA_INTERNAL
#endif

struct VELMORA_INTERNAL Flat::Impl
{
    // A command on its way to the box, or one it has not answered yet.
    struct Sent
    {
        char letter;
        std::string expectedPayload; // empty: any payload
        qint64 sentAtMs;
    };

    Impl();

    unsigned openPort(const QString &name);
    void closePort();
    unsigned awaitBox(bool quick, protocol::Reply &firstAnswer, bool &onlyRound);
    unsigned identifyDialect(const protocol::Reply &firstAnswer, bool onlyRound);
    unsigned readRound(protocol::Filler filler, const protocol::Reply *alreadyAnswered);
    unsigned askVersion(std::string &firmware);
    void skipBurst();
    void logConnection(const std::string &firmware) const;

    unsigned exchange(char letter, const std::string &text, const std::string &expectedPayload,
                      protocol::Reply &reply, bool onlyItsLetter = false);
    unsigned send(char letter, const std::string &text, const std::string &expectedPayload);
    unsigned write(const std::string &bytes);
    unsigned awaitAnswer(const QDeadlineTimer &deadline, const std::function<bool(const protocol::Reply &)> &wanted,
                         protocol::Reply &reply);
    bool isStale(const protocol::Reply &reply);
    void answered(char letter);
    unsigned nextReply(const QDeadlineTimer &deadline, protocol::Reply &reply);
    unsigned readMore(const QDeadlineTimer &deadline);
    void dropInput();
    unsigned failOnPort();
    unsigned lampCommand(char letter, unsigned value, const std::string &expectedPayload);
    void countTimeout(unsigned result);
    void onPortError(QSerialPort::SerialPortError error);
    void closeOnRequest();
    void keepWatching(const char *portName);
    void restartIdleTimer();
    bool deviceNodeGone() const;
    void queueLostNotice();

    QSerialPort port;
    QElapsedTimer sinceOpen;
    std::string productId;
    protocol::Dialect dialect;
    std::string firmwareVersion;
    bool connecting = false;
    std::string input; // bytes read from the port that belong to no reply yet
    protocol::ReplyCollector collector;
    std::deque<Sent> outstanding;
    int timeoutsInARow = 0;
    bool brightnessAcknowledged = false;
    unsigned acknowledgedBrightness = 0;
    // A call is using the port and handles its errors itself.
    int busy = 0;
    // Lets a close that was queued while idle tell whether its connection is still the current one.
    quint64 connectionNumber = 0;

    // The box of the current connection answered connect; a close that is not asked for loses it.
    bool watching = false;
    std::string watchedPort;
    quint64 requestedCloses = 0;
    QTimer idleTimer;
    int quietTicks = 0;
    std::function<void(const std::string &)> lostHandler;
};

namespace {

// Marks the time a call spends on the port.
class BusyScope
{
public:
    explicit BusyScope(int &busy) : counter(busy) { ++counter; }
    ~BusyScope() { --counter; }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    int &counter;
};

} // namespace

Flat::Impl::Impl()
{
    QObject::connect(&port, &QSerialPort::errorOccurred, &port,
                     [this](QSerialPort::SerialPortError error) { onPortError(error); });
    idleTimer.setSingleShot(true);
    idleTimer.setInterval(idleTickMs);
    // Every command that goes out, whoever sent it, puts off the idle status query.
    QObject::connect(&port, &QSerialPort::bytesWritten, &idleTimer, [this] { restartIdleTimer(); });
}

void Flat::Impl::restartIdleTimer()
{
    // Without an event loop on this thread there is no idle time to use.
    quietTicks = 0;
    if (watching && idleTimer.thread()->eventDispatcher() != nullptr)
        idleTimer.start();
}

// The user's disconnect or connect closes the port: that is no loss.
void Flat::Impl::closeOnRequest()
{
    watching = false;
    ++requestedCloses;
    closePort();
}

void Flat::Impl::keepWatching(const char *portName)
{
    watching = true;
    watchedPort = portName;
    restartIdleTimer();
}

// The node of a pulled USB adapter goes at once; a symlink to a port may go on its own.
bool Flat::Impl::deviceNodeGone() const
{
#if defined(Q_OS_UNIX)
    const QString name = QString::fromStdString(watchedPort);
    const bool isPath = name.startsWith(QLatin1Char('/')) || name.startsWith(QLatin1String("./"))
                        || name.startsWith(QLatin1String("../"));
    return !QFileInfo::exists(isPath ? name : QStringLiteral("/dev/") + name);
#else
    return false;
#endif
}

// The handler hears of the loss from the event loop, never from inside a call, and not at all
// when the user has connected or disconnected since.
void Flat::Impl::queueLostNotice()
{
    const quint64 connection = connectionNumber;
    const quint64 closes = requestedCloses;
    const std::string name = watchedPort;
    QMetaObject::invokeMethod(
        &port,
        [this, connection, closes, name] {
            if (connection != connectionNumber || closes != requestedCloses || !lostHandler)
                return;
            const auto handler = lostHandler; // the handler may replace itself
            handler(name);
        },
        Qt::QueuedConnection);
}

// While the program waits in its event loop, a vanished box shows up only as error signals.
// Closing from inside Qt's signal is not safe, so the close is queued.
void Flat::Impl::onPortError(QSerialPort::SerialPortError error)
{
    if (busy > 0 || !meansDeviceGone(error))
        return;
    const quint64 connection = connectionNumber;
    QMetaObject::invokeMethod(
        &port,
        [this, connection] {
            if (connection == connectionNumber)
                closePort();
        },
        Qt::QueuedConnection);
}

unsigned Flat::Impl::openPort(const QString &name)
{
    port.setPortName(name);
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::NoParity);
    port.setStopBits(QSerialPort::OneStop);
    port.setFlowControl(QSerialPort::NoFlowControl);
    if (!port.open(QIODevice::ReadWrite)) {
        port.clearError();
        return PortError;
    }
    sinceOpen.start();
    ++connectionNumber;
    port.setReadBufferSize(readBufferLimit);
    // Boards with native USB send only while DTR is set. A pty has no modem lines and
    // refuses the call ("Inappropriate ioctl for device"), which is no fault.
    port.setDataTerminalReady(true);
    port.clear(QSerialPort::AllDirections);
    port.clearError();
    return Ok;
}

void Flat::Impl::closePort()
{
    BusyScope scope(busy);
    const bool lost = watching;
    watching = false;
    idleTimer.stop();
    if (port.isOpen())
        port.close();
    port.clearError();
    productId.clear();
    dialect = protocol::Dialect();
    input.clear();
    collector.reset();
    outstanding.clear();
    timeoutsInARow = 0;
    brightnessAcknowledged = false;
    if (lost)
        queueLostNotice();
}

unsigned Flat::Impl::failOnPort()
{
    closePort();
    return PortError;
}

// A round of two queries in one write, ">S000\r>P000\r\n" (">JOOO\r>VOOO\r\n" with the other filler),
// that every firmware answers when it reads its filler:
// - one that reads up to "\n" reads the whole as one command and answers the first query only;
// - one that reads up to "\r" answers the second, and the first too unless the "\n" of the round
//   before is still waiting in front of it (it arrives after such a firmware has emptied its input).
// So an answer to the second query means "\r", an answer to the first alone "\n"; the letters tell
// the filler.
namespace {
struct Round
{
    char first;
    char second;
};

Round roundFor(protocol::Filler filler)
{
    return filler == protocol::Filler::Digit ? Round{'S', 'P'} : Round{'J', 'V'};
}

std::string roundText(protocol::Filler filler)
{
    const Round round = roundFor(filler);
    const protocol::Dialect cr{protocol::Terminator::Cr, filler};
    return protocol::command(round.first, cr) + protocol::command(round.second, cr) + "\n";
}

protocol::Filler fillerAnswering(char letter)
{
    return letter == 'S' || letter == 'P' ? protocol::Filler::Digit : protocol::Filler::Letter;
}

bool answersARound(const protocol::Reply &reply)
{
    return reply.letter == 'S' || reply.letter == 'P' || reply.letter == 'J' || reply.letter == 'V';
}
} // namespace

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
        const unsigned sent = write(roundText(filler));
        if (sent != Ok)
            return sent;
        QDeadlineTimer pace(qMin<qint64>(probePeriodMs, until.remainingTime()));
        for (;;) {
            protocol::Reply reply;
            const unsigned got = nextReply(pace, reply);
            if (got == Ok && answersARound(reply)) {
                firstAnswer = reply;
                onlyRound = rounds == 1;
                return Ok;
            }
            // A reply on its way is awaited before the next round, so that it is known to answer this one.
            if (got == Timeout && !collector.line().empty() && !until.hasExpired()) {
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

// Waits until the burst of answers to rounds that the box kept while starting up has passed.
void Flat::Impl::skipBurst()
{
    const QDeadlineTimer limit(quietLimitMs);
    while (!limit.hasExpired()) {
        const qint64 before = qint64(input.size());
        if (readMore(QDeadlineTimer(quietGapMs)) != Ok || qint64(input.size()) == before)
            break;
    }
    dropInput();
}

// The answers to one round: the first within the exchange bound, a second one shortly after it.
unsigned Flat::Impl::readRound(protocol::Filler filler, const protocol::Reply *alreadyAnswered)
{
    const Round round = roundFor(filler);
    const auto ofRound = [round](const protocol::Reply &r) { return r.letter == round.first || r.letter == round.second; };
    bool secondAnswered = alreadyAnswered && alreadyAnswered->letter == round.second;
    protocol::Reply reply;
    if (!alreadyAnswered) {
        const unsigned result = awaitAnswer(QDeadlineTimer(exchangeTimeoutMs), ofRound, reply);
        if (result != Ok)
            return result;
        secondAnswered = reply.letter == round.second;
    }
    const QDeadlineTimer limit(exchangeTimeoutMs);
    while (!secondAnswered && !limit.hasExpired()) {
        const unsigned result = awaitAnswer(QDeadlineTimer(promptAnswerMs), ofRound, reply);
        if (result == Ok)
            secondAnswered = reply.letter == round.second;
        else if (result != Timeout || collector.line().empty())
            break; // nothing more on its way
    }
    dialect.filler = filler;
    dialect.terminator = secondAnswered ? protocol::Terminator::Cr : protocol::Terminator::Lf;
    if (reply.letter == version)
        firmwareVersion = reply.payload;
    return Ok;
}

// After the box answered, a round in the filler it answered to (the other one if it stays silent)
// tells its dialect. A firmware that reads up to "\r" then still holds the round's "\n": a query it
// may lose (">J", whose answer nothing else waits for) clears it before the version is asked.
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
        skipBurst();
        for (const protocol::Filler filler : {hint, otherFiller(hint)}) {
            result = write(roundText(filler));
            if (result == Ok)
                result = readRound(filler, nullptr);
            if (result != Timeout)
                break;
        }
    }
    if (result != Ok)
        return result;
    if (dialect.terminator == protocol::Terminator::Cr) {
        result = send(storedBrightness, protocol::command(storedBrightness, dialect), std::string());
        protocol::Reply reply;
        if (result == Ok && awaitAnswer(QDeadlineTimer(promptAnswerMs), [](const protocol::Reply &r) {
                return r.letter == storedBrightness; }, reply) == Ok)
            answered(storedBrightness);
        if (!port.isOpen())
            return PortError;
    }
    if (firmwareVersion.empty()) {
        result = askVersion(firmwareVersion);
        if (result != Ok)
            return result;
    }
    logConnection(firmwareVersion);
    return Ok;
}

// The firmware's version, asked in the dialect found.
unsigned Flat::Impl::askVersion(std::string &firmware)
{
    protocol::Reply reply;
    const unsigned result = exchange(version, protocol::command(version, dialect), std::string(), reply, true);
    if (result != Ok)
        return result;
    if (reply.letter != version)
        return BadReply;
    firmware = reply.payload;
    return Ok;
}

void Flat::Impl::logConnection(const std::string &firmware) const
{
    qDebug().noquote() << QStringLiteral("flat box: product %1 firmware %2 terminator %3 filler %4")
                              .arg(QString::fromStdString(productId), QString::fromStdString(firmware),
                                   QLatin1String(protocol::terminatorName(dialect.terminator)),
                                   QLatin1String(protocol::fillerName(dialect.filler)));
}

// One command and its reply. What came in before is stale; replies that belong to earlier commands
// (a late answer, a burst of answers to kept rounds) are passed over, whenever they arrive.
// `onlyItsLetter`: replies with other letters are passed over (while connecting, when answers to
// the queries that found the dialect may still come).
unsigned Flat::Impl::exchange(char letter, const std::string &text, const std::string &expectedPayload,
                              protocol::Reply &reply, bool onlyItsLetter)
{
    if (!port.isOpen())
        return NotConnected;
    brightnessAcknowledged = false;
    const QDeadlineTimer deadline(exchangeTimeoutMs);
    dropInput();
    const unsigned sent = send(letter, text, expectedPayload);
    if (sent != Ok)
        return sent;
    const unsigned result = awaitAnswer(
        deadline, [letter, onlyItsLetter](const protocol::Reply &r) { return !onlyItsLetter || r.letter == letter; },
        reply);
    if (result == Ok)
        answered(letter);
    return result;
}

// Sends a command and keeps it among those waiting for their answer.
unsigned Flat::Impl::send(char letter, const std::string &text, const std::string &expectedPayload)
{
    const qint64 now = sinceOpen.elapsed();
    while (!outstanding.empty()
           && (outstanding.size() >= maxOutstanding || now - outstanding.front().sentAtMs > lateReplyHorizonMs))
        outstanding.pop_front();
    const unsigned written = write(text);
    if (written == Ok)
        outstanding.push_back({letter, expectedPayload, now});
    return written;
}

unsigned Flat::Impl::write(const std::string &bytes)
{
    if (!port.isOpen())
        return NotConnected;
    const qint64 size = qint64(bytes.size());
    if (port.write(bytes.data(), size) != size || !port.waitForBytesWritten(exchangeTimeoutMs))
        return failOnPort();
    return Ok;
}

// The first reply that answers the newest command: stale replies are skipped; `wanted` says which
// letters may answer it (during connect); any other well-formed reply is the box's answer.
unsigned Flat::Impl::awaitAnswer(const QDeadlineTimer &deadline,
                                 const std::function<bool(const protocol::Reply &)> &wanted,
                                 protocol::Reply &reply)
{
    for (;;) {
        const unsigned result = nextReply(deadline, reply);
        if (result != Ok)
            return result;
        if (isStale(reply) || !wanted(reply))
            continue;
        if (!productId.empty() && reply.productId != productId)
            return BadReply;
        return Ok;
    }
}

// A reply is stale when it answers an earlier command that is still waited for: it is taken as that
// command's late answer, and commands before it are no longer waited for. Pings are sent only
// while connecting (the second query of a digit round), so an answer to one is stale afterwards.
bool Flat::Impl::isStale(const protocol::Reply &reply)
{
    if (reply.letter == ping && !connecting)
        return true;
    const qint64 now = sinceOpen.elapsed();
    for (std::size_t i = 0; i + 1 < outstanding.size(); ++i) {
        const Sent &sent = outstanding[i];
        if (sent.letter == reply.letter && now - sent.sentAtMs <= lateReplyHorizonMs
            && (sent.expectedPayload.empty() || sent.expectedPayload == reply.payload)) {
            outstanding.erase(outstanding.begin(), outstanding.begin() + std::ptrdiff_t(i + 1));
            return true;
        }
    }
    return false;
}

// The box answered `letter`'s command: it will not answer anything sent before it any more.
void Flat::Impl::answered(char letter)
{
    for (std::size_t i = outstanding.size(); i-- > 0;) {
        if (outstanding[i].letter == letter) {
            outstanding.erase(outstanding.begin(), outstanding.begin() + std::ptrdiff_t(i + 1));
            return;
        }
    }
}

// The next reply line that arrives before the deadline, however its bytes come in. Ok with a
// well-formed reply; BadReply for a malformed or overlong line.
unsigned Flat::Impl::nextReply(const QDeadlineTimer &deadline, protocol::Reply &reply)
{
    for (;;) {
        const std::size_t taken = collector.feed(input.data(), input.size());
        input.erase(0, taken);
        const auto state = collector.state();
        if (state != protocol::ReplyCollector::State::Incomplete) {
            const std::string line = collector.line();
            collector.reset();
            if (state == protocol::ReplyCollector::State::Overlong)
                return BadReply;
            return protocol::parseReply(line.data(), line.size(), reply) ? Ok : BadReply;
        }
        const unsigned result = readMore(deadline);
        if (result != Ok)
            return result;
    }
}

// Appends what the port has, waiting for it until the deadline.
unsigned Flat::Impl::readMore(const QDeadlineTimer &deadline)
{
    if (!port.isOpen())
        return NotConnected;
    while (port.bytesAvailable() == 0) {
        if (deadline.hasExpired())
            return Timeout;
        if (!port.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (port.error() != QSerialPort::TimeoutError && port.error() != QSerialPort::NoError)
                return failOnPort();
            port.clearError();
        }
    }
    char chunk[256];
    const qint64 count = port.read(chunk, sizeof chunk);
    if (count < 0)
        return failOnPort();
    input.append(chunk, std::size_t(count));
    return Ok;
}

// What came in before a command is sent answers nothing sent since.
void Flat::Impl::dropInput()
{
    input.clear();
    collector.reset();
    if (port.isOpen())
        port.clear(QSerialPort::Input);
    port.readAll();
}

void Flat::Impl::countTimeout(unsigned result)
{
    if (result != Timeout) {
        timeoutsInARow = 0;
        return;
    }
    if (++timeoutsInARow >= timeoutsBeforeGivingUp)
        closePort();
}

// A lamp or brightness command: the reply must carry the same letter, this box's product id
// and, when given, the expected payload.
unsigned Flat::Impl::lampCommand(char letter, unsigned value, const std::string &expectedPayload)
{
    if (!port.isOpen())
        return NotConnected;
    protocol::Reply reply;
    const std::string text = letter == brightness ? protocol::command(letter, value, dialect)
                                                  : protocol::command(letter, dialect);
    const unsigned result = exchange(letter, text, expectedPayload, reply);
    countTimeout(result);
    if (result != Ok)
        return result;
    const bool matches = reply.letter == letter && (expectedPayload.empty() || reply.payload == expectedPayload);
    return matches ? Ok : BadReply;
}

// While nothing is sent, the event loop looks at the device node and now and then asks for the status.
Flat::Flat() : d(new Impl)
{
    QObject::connect(&d->idleTimer, &QTimer::timeout, &d->idleTimer, [this] {
        if (d->busy > 0 || !d->watching)
            return;
        if (d->deviceNodeGone()) {
            d->closePort();
            return;
        }
        if (++d->quietTicks < idleTicksBeforeQuery) {
            d->idleTimer.start();
            return;
        }
        bool connected = false;
        if (isFlatConnected(connected) == Timeout)
            d->closePort();
    });
}

Flat::~Flat()
{
    d->closeOnRequest();
    delete d;
}

void Flat::setLostHandler(std::function<void(const std::string &port)> handler)
{
    d->lostHandler = std::move(handler);
}

// `quick`: the box is known to be running (it does not reset when the port opens), so one
// ping decides instead of waiting out a boot loader.
unsigned int Flat::connect(const char *port, const bool &quick)
{
    BusyScope scope(d->busy);
    d->closeOnRequest();
    if (port == nullptr || *port == '\0')
        return PortError;
    const unsigned opened = d->openPort(QString::fromUtf8(port));
    if (opened != Ok)
        return opened;
    struct Connecting
    {
        explicit Connecting(bool &flag) : on(flag) { on = true; }
        ~Connecting() { on = false; }
        bool &on;
    } connecting(d->connecting);
    protocol::Reply firstAnswer;
    bool onlyRound = false;
    unsigned result = d->awaitBox(quick, firstAnswer, onlyRound);
    if (result == Ok) {
        d->productId = firstAnswer.productId;
        result = d->identifyDialect(firstAnswer, onlyRound);
    }
    if (result != Ok)
        d->closePort();
    else
        d->keepWatching(port);
    return result;
}

unsigned int Flat::disconnect()
{
    d->closeOnRequest();
    return Ok;
}

unsigned int Flat::isFlatConnected(bool &connected)
{
    BusyScope scope(d->busy);
    connected = false;
    protocol::Reply reply;
    const unsigned result = d->exchange(status, protocol::command(status, d->dialect), std::string(), reply);
    if (result != Ok)
        return result;
    connected = reply.letter == status;
    return connected ? Ok : BadReply;
}

unsigned int Flat::turnOn()
{
    BusyScope scope(d->busy);
    return d->lampCommand(lightOn, 0, std::string());
}

unsigned int Flat::turnOff()
{
    BusyScope scope(d->busy);
    return d->lampCommand(lightOff, 0, std::string());
}

// The window sends every slider change twice: a level the box has just acknowledged, with
// nothing sent since, is not sent again.
unsigned int Flat::setBrightness(const unsigned &level)
{
    BusyScope scope(d->busy);
    if (level > maxBrightness)
        return OutOfRange;
    if (!d->port.isOpen())
        return NotConnected;
    if (d->brightnessAcknowledged && d->acknowledgedBrightness == level)
        return Ok;
    const unsigned result = d->lampCommand(brightness, level, protocol::threeDigits(level));
    if (result == Ok) {
        d->brightnessAcknowledged = true;
        d->acknowledgedBrightness = level;
    }
    return result;
}

unsigned int Flat::getIdentity(Identity &identity)
{
    if (!d->port.isOpen() || !d->watching)
        return NotConnected;
    identity.productId = std::atoi(d->productId.c_str());
    identity.firmware = d->firmwareVersion;
    identity.terminator = protocol::terminatorName(d->dialect.terminator);
    identity.filler = protocol::fillerName(d->dialect.filler);
    return Ok;
}

unsigned int Flat::readState(BoxState &state)
{
    BusyScope scope(d->busy);
    protocol::Reply lamp;
    unsigned result = d->exchange(status, protocol::command(status, d->dialect), std::string(), lamp);
    if (result != Ok)
        return result;
    protocol::Reply level;
    result = d->exchange(storedBrightness, protocol::command(storedBrightness, d->dialect), std::string(), level);
    if (result != Ok)
        return result;
    unsigned brightnessRead = 0;
    if (lamp.letter != status || level.letter != storedBrightness
        || !protocol::parseLevel(level.payload, brightnessRead) || brightnessRead > maxBrightness)
        return BadReply;
    state.lampOn = lamp.payload[1] == '1';
    state.brightness = brightnessRead;
    return Ok;
}

unsigned int Flat::getAPIversion(std::string &version)
{
    version = libraryVersion;
    return Ok;
}

} // namespace velmora
