#include "portio.h"

#include "velmora/flat.h"
#include "velmora/portnode.h"

#include <QFile>


namespace velmora {
namespace {

// Replies are read while a call waits for them, never in the background: what a chattering box sends
// meanwhile stays in the kernel's buffer, which is bounded, and is thrown away before the next command.
constexpr qint64 readChunk = 256;

} // namespace

unsigned PortIo::open(const QString &name)
{
    close();
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
    portName = name;
    port.setReadBufferSize(readChunk * 16);
    // Boards with native USB send only while DTR is set. A pty has no modem lines and
    // refuses the call ("Inappropriate ioctl for device"), which is no fault.
    port.setDataTerminalReady(true);
    port.clear(QSerialPort::AllDirections);
    port.clearError();
    return Ok;
}

void PortIo::close()
{
    if (port.isOpen())
        port.close();
    port.clearError();
    forgetInput();
}

long long PortIo::handle() const
{
    return port.isOpen() ? static_cast<long long>(qintptr(port.handle())) : -1;
}

// The node of a pulled USB adapter goes at once (a COM port leaves the system); a symlink to a port may go on
// its own.
bool PortIo::nodeGone() const
{
    return !portNodeOf(QFile::encodeName(portName).toStdString()).exists;
}

unsigned PortIo::write(const std::string &bytes)
{
    if (!port.isOpen())
        return NotConnected;
    const qint64 size = qint64(bytes.size());
    if (port.write(bytes.data(), size) != size || !port.waitForBytesWritten(500))
        return PortError;
    return Ok;
}

unsigned PortIo::readMore(const QDeadlineTimer &deadline)
{
    if (!port.isOpen())
        return NotConnected;
    while (port.bytesAvailable() == 0) {
        if (deadline.hasExpired())
            return Timeout;
        if (!port.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())))) {
            if (port.error() != QSerialPort::TimeoutError && port.error() != QSerialPort::NoError)
                return PortError;
            port.clearError();
        }
    }
    char chunk[readChunk];
    const qint64 count = port.read(chunk, sizeof chunk);
    if (count < 0)
        return PortError;
    appendInput(chunk, std::size_t(count));
    return Ok;
}

void PortIo::dropPending()
{
    if (port.isOpen())
        port.clear(QSerialPort::Input);
    port.readAll();
}

} // namespace velmora
