#include "serialports.h"

#include <QSerialPortInfo>

#include <future>

namespace {

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

    for (const QString &path : extraPortNames(qEnvironmentVariable("VELMORA_FLAT_EXTRA_PORTS")))
        ports.append({path, flatBoxVendorId});
    return ports;
}
