#include "serialports.h"

#include <QSerialPortInfo>

#include <future>

namespace {

constexpr quint16 boxVendorId = 0x2341;

// The system's list asked for ahead of time by startSerialPortListing(), until the first search takes it.
std::future<QList<QSerialPortInfo>> &pendingListing()
{
    static std::future<QList<QSerialPortInfo>> pending;
    return pending;
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

    const QString extra = qEnvironmentVariable("VELMORA_FLAT_EXTRA_PORTS");
    const QStringList paths = extra.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &path : paths)
        ports.append({path, boxVendorId});
    return ports;
}
