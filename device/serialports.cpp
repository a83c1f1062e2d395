#include "serialports.h"

#include <QSerialPortInfo>

namespace {
constexpr quint16 boxVendorId = 0x2341;
}

QList<SerialPortEntry> availableSerialPorts()
{
    QList<SerialPortEntry> ports;
    const auto infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos)
        ports.append({info.portName(), info.hasVendorIdentifier() ? info.vendorIdentifier() : quint16(0)});

    const QString extra = qEnvironmentVariable("VELMORA_FLAT_EXTRA_PORTS");
    const QStringList paths = extra.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &path : paths)
        ports.append({path, boxVendorId});
    return ports;
}
