#include "serialports.h"

#include <QRegularExpression>
#include <QSerialPortInfo>

#include <future>

namespace {

// The system's list asked for ahead of time by startSerialPortListing(), until the first search takes it.
std::future<QList<QSerialPortInfo>> &pendingListing()
{
    static std::future<QList<QSerialPortInfo>> pending;
    return pending;
}

// Device paths separated by ":". A path may hold a ":" itself (/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0),
// so only a ":" before a "/" separates two of them.
QStringList extraPortPaths()
{
    static const QRegularExpression separator(QStringLiteral(":(?=/)"));
    QStringList paths;
    for (QString path : qEnvironmentVariable("VELMORA_FLAT_EXTRA_PORTS").split(separator)) {
        while (path.startsWith(QLatin1Char(':')))
            path.remove(0, 1);
        while (path.endsWith(QLatin1Char(':')))
            path.chop(1);
        if (!path.isEmpty())
            paths.append(path);
    }
    return paths;
}

} // namespace

void startSerialPortListing()
{
    pendingListing() = std::async(std::launch::async, [] { return QSerialPortInfo::availablePorts(); });
}

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports;
    auto &pending = pendingListing();
    const QList<QSerialPortInfo> infos = pending.valid() ? pending.get() : QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        ports.append({info.portName(), info.hasVendorIdentifier() ? info.vendorIdentifier() : quint16(0)});

    for (const QString &path : extraPortPaths())
        ports.append({path, flatBoxVendorId});
    return ports;
}
