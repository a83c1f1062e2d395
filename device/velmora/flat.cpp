#include "velmora/flat.h"

#include "protocol.h"

#include <QDeadlineTimer>
#include <QDebug>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QString>

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
// Pings go out at this pace while the box boots, alternately with each filler.
constexpr int probePeriodMs = 75;
// With `quick`, the box is taken to be running: the pings it gets have this long.
constexpr int quickWaitMs = 300;
// A box that reads the terminator it was sent answers within this, on the line and through the USB
// adapter; an answer that takes longer means it waits for the other one (or is slow, see roundTripMs).
constexpr int promptAnswerMs = 50;
// After the first answer, a burst of answers to pings it kept while starting up may follow.
constexpr int quietGapMs = 20;
constexpr int quietLimitMs = 250;
// A reply can come this late, after the firmware's own 1 s read time-out; older commands are
// no longer waited for.
constexpr int lateReplyHorizonMs = 1500;
constexpr std::size_t maxOutstanding = 32;
// Lamp and brightness commands that time out this many times in a row mean the box is gone.
constexpr int timeoutsBeforeGivingUp = 2;
constexpr unsigned maxBrightness = 255;
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
    unsigned awaitBox(bool quick, protocol::Reply &firstAnswer, protocol::Filler &hint, bool &fillerCertain);
    unsigned identifyDialect(protocol::Filler hint, bool fillerCertain);
    unsigned findFiller(protocol::Filler first);
    unsigned findTerminator(std::string &firmware);
    void skipBurst();
    void logConnection(const std::string &firmware) const;

    unsigned exchange(char letter, const std::string &text, const std::string &expectedPayload,
                      protocol::Reply &reply);
    unsigned send(char letter, const std::string &text, const std::string &expectedPayload);
    unsigned write(const std::string &bytes);
    unsigned awaitAnswer(const QDeadlineTimer &deadline, const std::function<bool(const protocol::Reply &)> &wanted,
                         protocol::Reply &reply);
    bool isStale(const protocol::Reply &reply, char current);
    void answered(char letter);
    unsigned nextReply(const QDeadlineTimer &deadline, protocol::Reply &reply);
    unsigned readMore(const QDeadlineTimer &deadline);
    void dropInput();
    unsigned failOnPort();
    unsigned lampCommand(char letter, unsigned value, const std::string &expectedPayload);
    void countTimeout(unsigned result);
    void onPortError(QSerialPort::SerialPortError error);

    QSerialPort port;
    QElapsedTimer sinceOpen;
    std::string productId;
    protocol::Dialect dialect;
    int roundTripMs = 0;
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
    if (port.isOpen())
        port.close();
    port.clearError();
    productId.clear();
    dialect = protocol::Dialect();
    roundTripMs = 0;
    input.clear();
    collector.reset();
    outstanding.clear();
    timeoutsInARow = 0;
    brightnessAcknowledged = false;
}

unsigned Flat::Impl::failOnPort()
{
    closePort();
    return PortError;
}

// Pings, with "\r\n" that every firmware reads, until the box answers: a board that has just reset
// stays silent through its boot loader. The fillers take turns, for firmwares that know only one.
// `hint`: the filler the box most likely reads: the last ping's when the answer followed it at once,
// else the one the box writes. `fillerCertain`: the answer can only be to the one ping sent.
unsigned Flat::Impl::awaitBox(bool quick, protocol::Reply &firstAnswer, protocol::Filler &hint, bool &fillerCertain)
{
    const QDeadlineTimer until(quick ? quickWaitMs : bootWaitMs);
    protocol::Filler filler = protocol::Filler::Digit;
    unsigned result = Timeout;
    int probes = 0;
    while (!until.hasExpired()) {
        ++probes;
        const qint64 sentAt = sinceOpen.elapsed();
        const protocol::Dialect probe{protocol::Terminator::Cr, filler};
        const unsigned sent = send(ping, protocol::command(ping, probe) + "\n", std::string());
        if (sent != Ok)
            return sent;
        QDeadlineTimer pace(qMin<qint64>(probePeriodMs, until.remainingTime()));
        for (;;) {
            protocol::Reply reply;
            const unsigned got = nextReply(pace, reply);
            if (got == Ok && reply.letter == ping) {
                firstAnswer = reply;
                fillerCertain = probes == 1;
                const bool followedThisPing = sinceOpen.elapsed() - sentAt <= promptAnswerMs;
                hint = fillerCertain || followedThisPing ? filler : protocol::fillerOf(reply.payload);
                dialect.filler = hint;
                roundTripMs = int(sinceOpen.elapsed() - sentAt);
                return Ok;
            }
            // A reply on its way is awaited before the next ping, so that it is known to answer this one.
            if (got == Timeout && !collector.line().empty() && !until.hasExpired()) {
                pace = QDeadlineTimer(qMin<qint64>(promptAnswerMs, until.remainingTime()));
                continue;
            }
            if (got == Timeout)
                break;
            if (got != Ok && got != BadReply)
                return got;
            result = BadReply; // a box that answers nonsense is still pinged only at the pace
        }
        filler = otherFiller(filler);
    }
    return result;
}

// Waits until the burst of answers to pings that the box kept while starting up has passed.
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

// Which filler the box reads, asked with queries that every terminator dialect answers: the stored
// level with the likelier filler, the status with the other, so that even a late answer tells which
// one the box read. A second round follows when neither is answered at once: the first query may have
// been glued to the remains of a ping that overflowed the box's input while it started up.
unsigned Flat::Impl::findFiller(protocol::Filler first)
{
    const protocol::Filler second = otherFiller(first);
    const std::pair<char, protocol::Filler> tries[] = {
        {storedBrightness, first}, {status, second}, {storedBrightness, first}, {status, second}};
    QElapsedTimer clock;
    clock.start();
    qint64 lastSentAt[2] = {-1, -1};
    const auto isAnswer = [](const protocol::Reply &r) { return r.letter == storedBrightness || r.letter == status; };
    protocol::Reply reply;
    unsigned result = Timeout;
    for (std::size_t i = 0; i < std::size(tries) && result == Timeout; ++i) {
        const auto &[letter, filler] = tries[i];
        lastSentAt[letter == status ? 1 : 0] = clock.elapsed();
        result = write(protocol::command(letter, {protocol::Terminator::Cr, filler}) + "\n");
        if (result != Ok)
            return result;
        const bool last = i + 1 == std::size(tries);
        const qint64 waitMs = last ? exchangeTimeoutMs - clock.elapsed() : promptAnswerMs;
        result = awaitAnswer(QDeadlineTimer(qMax<qint64>(waitMs, promptAnswerMs)), isAnswer, reply);
    }
    if (result != Ok)
        return result;
    const bool firstAnswered = reply.letter == storedBrightness;
    dialect.filler = firstAnswered ? first : second;
    // From the last query of that kind: a box that reads "\r" must not be taken for one that waits
    // for "\n" because a time-out was counted in.
    roundTripMs = int(clock.elapsed() - lastSentAt[firstAnswered ? 0 : 1]);
    return Ok;
}

// Which terminator the box reads: a command ended by "\r" only is answered at once by a firmware
// that reads up to "\r"; one that reads up to "\n" gets its "\n" when it has not answered in time.
// No lone "\n" ever reaches a firmware that answered to "\r", where it would spoil the next command.
unsigned Flat::Impl::findTerminator(std::string &firmware)
{
    const protocol::Dialect crFirst{protocol::Terminator::Cr, dialect.filler};
    const QDeadlineTimer deadline(exchangeTimeoutMs);
    unsigned result = send(version, protocol::command(version, crFirst), {});
    if (result != Ok)
        return result;
    const auto isVersion = [](const protocol::Reply &r) { return r.letter == version; };
    protocol::Reply reply;
    const int promptMs = qMin(exchangeTimeoutMs, qMax(promptAnswerMs, roundTripMs * 3 / 2 + promptAnswerMs));
    result = awaitAnswer(QDeadlineTimer(promptMs), isVersion, reply);
    dialect.terminator = protocol::Terminator::Cr;
    if (result == Timeout) {
        dialect.terminator = protocol::Terminator::Lf;
        result = write("\n");
        if (result == Ok)
            result = awaitAnswer(deadline, isVersion, reply);
    }
    if (result != Ok)
        return result;
    answered(version);
    firmware = reply.payload;
    return Ok;
}

unsigned Flat::Impl::identifyDialect(protocol::Filler hint, bool fillerCertain)
{
    if (!fillerCertain) {
        skipBurst();
        const unsigned found = findFiller(hint);
        if (found != Ok)
            return found;
    }
    std::string firmware;
    const unsigned found = findTerminator(firmware);
    if (found == Ok)
        logConnection(firmware);
    return found;
}

void Flat::Impl::logConnection(const std::string &firmware) const
{
    qDebug().noquote() << QStringLiteral("flat box: product %1 firmware %2 terminator %3 filler %4")
                              .arg(QString::fromStdString(productId), QString::fromStdString(firmware),
                                   QLatin1String(protocol::terminatorName(dialect.terminator)),
                                   QLatin1String(protocol::fillerName(dialect.filler)));
}

// One command and its reply. What came in before is stale; replies that belong to earlier commands
// (a late answer, a burst of answers to kept pings) are passed over, whenever they arrive.
unsigned Flat::Impl::exchange(char letter, const std::string &text, const std::string &expectedPayload,
                              protocol::Reply &reply)
{
    if (!port.isOpen())
        return NotConnected;
    brightnessAcknowledged = false;
    const QDeadlineTimer deadline(exchangeTimeoutMs);
    dropInput();
    const unsigned sent = send(letter, text, expectedPayload);
    if (sent != Ok)
        return sent;
    const unsigned result = awaitAnswer(deadline, [](const protocol::Reply &) { return true; }, reply);
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
    const char current = outstanding.empty() ? 0 : outstanding.back().letter;
    for (;;) {
        const unsigned result = nextReply(deadline, reply);
        if (result != Ok)
            return result;
        if (isStale(reply, current) || !wanted(reply))
            continue;
        if (!productId.empty() && reply.productId != productId)
            return BadReply;
        return Ok;
    }
}

// A reply is stale when it answers an earlier command that is still waited for: it is taken as that
// command's late answer, and commands before it are no longer waited for. Pings are sent only
// while connecting, so an answer to one is always stale afterwards.
bool Flat::Impl::isStale(const protocol::Reply &reply, char current)
{
    if (reply.letter == ping && current != ping)
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

Flat::Flat() : d(new Impl)
{
}

Flat::~Flat()
{
    d->closePort();
    delete d;
}

// `quick`: the box is known to be running (it does not reset when the port opens), so one
// ping decides instead of waiting out a boot loader.
unsigned int Flat::connect(const char *port, const bool &quick)
{
    BusyScope scope(d->busy);
    d->closePort();
    if (port == nullptr || *port == '\0')
        return PortError;
    const unsigned opened = d->openPort(QString::fromUtf8(port));
    if (opened != Ok)
        return opened;
    protocol::Reply firstAnswer;
    protocol::Filler hint = protocol::Filler::Digit;
    bool fillerCertain = false;
    unsigned result = d->awaitBox(quick, firstAnswer, hint, fillerCertain);
    if (result == Ok) {
        d->productId = firstAnswer.productId;
        result = d->identifyDialect(hint, fillerCertain);
    }
    if (result != Ok)
        d->closePort();
    return result;
}

unsigned int Flat::disconnect()
{
    d->closePort();
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

unsigned int Flat::getAPIversion(std::string &version)
{
    version = libraryVersion;
    return Ok;
}

} // namespace velmora
