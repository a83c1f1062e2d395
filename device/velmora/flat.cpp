#include "velmora/flat.h"

#include "protocol.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSerialPort>
#include <QString>
#include <QThread>
#include <QTimer>

namespace velmora {
namespace {

constexpr char libraryVersion[] = VELMORA_LIBRARY_VERSION;

constexpr int exchangeTimeoutMs = 500;
// An Arduino board resets when its port opens and answers only after its boot loader.
constexpr int bootWaitMs = 4000;
constexpr int pingTimeoutMs = 300;
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

// Errors after which the port is of no more use. A pty whose other end has closed reports
// read errors again and again, at full speed, for as long as it stays open.
bool meansDeviceGone(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError
           || error == QSerialPort::WriteError;
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
    Impl();

    unsigned openPort(const QString &name);
    void closePort();
    unsigned awaitBox(bool singleTry);
    unsigned transact(char letter, unsigned value, int timeoutMs, protocol::Reply &reply);
    bool send(const std::string &command);
    unsigned receiveLine(int timeoutMs, std::string &line);
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
    std::string productId;
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

// Pings until the box answers: a board that has just reset stays silent through its boot loader.
unsigned Flat::Impl::awaitBox(bool singleTry)
{
    QElapsedTimer sinceOpen;
    sinceOpen.start();
    unsigned result = Timeout;
    do {
        QElapsedTimer thisTry;
        thisTry.start();
        const int timeoutMs = int(qMin<qint64>(pingTimeoutMs, bootWaitMs - sinceOpen.elapsed()));
        protocol::Reply reply;
        result = transact(ping, 0, qMax(timeoutMs, 1), reply);
        if (result == Ok && reply.letter == ping) {
            productId = reply.productId;
            return Ok;
        }
        if (result == Ok)
            result = BadReply;
        if (!port.isOpen())
            return result;
        // A box that answers nonsense at once is not pinged in a tight loop.
        const qint64 pause = qMin(pingTimeoutMs - thisTry.elapsed(), bootWaitMs - sinceOpen.elapsed());
        if (!singleTry && pause > 0)
            QThread::msleep(quint64(pause));
    } while (!singleTry && sinceOpen.elapsed() < bootWaitMs);
    return result;
}

// One command and its reply. Stale input goes first, so a late answer to an earlier
// command is not taken for this one's.
unsigned Flat::Impl::transact(char letter, unsigned value, int timeoutMs, protocol::Reply &reply)
{
    if (!port.isOpen())
        return NotConnected;
    brightnessAcknowledged = false;
    port.clear(QSerialPort::Input);
    if (!send(protocol::command(letter, value)))
        return failOnPort();
    std::string line;
    const unsigned result = receiveLine(timeoutMs, line);
    if (result != Ok)
        return result;
    return protocol::parseReply(line.data(), line.size(), reply) ? Ok : BadReply;
}

bool Flat::Impl::send(const std::string &command)
{
    const qint64 size = qint64(command.size());
    return port.write(command.data(), size) == size && port.waitForBytesWritten(exchangeTimeoutMs);
}

// Reads until the end of one reply line, however the bytes come in, for at most timeoutMs.
unsigned Flat::Impl::receiveLine(int timeoutMs, std::string &line)
{
    protocol::ReplyCollector collector;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        char chunk[protocol::maxReplyLength];
        while (collector.state() == protocol::ReplyCollector::State::Incomplete && port.bytesAvailable() > 0) {
            const qint64 count = port.read(chunk, sizeof chunk);
            if (count <= 0)
                break;
            collector.feed(chunk, std::size_t(count));
        }
        if (collector.state() == protocol::ReplyCollector::State::Complete) {
            line = collector.line();
            return Ok;
        }
        if (collector.state() == protocol::ReplyCollector::State::Overlong)
            return BadReply;
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            return Timeout;
        if (!port.waitForReadyRead(int(left))) {
            if (port.error() != QSerialPort::TimeoutError && port.error() != QSerialPort::NoError)
                return failOnPort();
            port.clearError();
        }
    }
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
    protocol::Reply reply;
    const unsigned result = transact(letter, value, exchangeTimeoutMs, reply);
    countTimeout(result);
    if (result != Ok)
        return result;
    const bool matches = reply.letter == letter && reply.productId == productId
                         && (expectedPayload.empty() || reply.payload == expectedPayload);
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
    const unsigned result = d->awaitBox(quick);
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
    const unsigned result = d->transact(status, 0, exchangeTimeoutMs, reply);
    if (result != Ok)
        return result;
    connected = reply.letter == status && reply.productId == d->productId;
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
