#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The USB vendor identifier of the flat box's serial interface.
constexpr quint16 flatBoxVendorId = 0x2341;

// One serial port as the system lists it: its name and its USB vendor identifier (0 when none).
struct SerialPortEntry
{
    QString name;
    quint16 vendorId;
};

// The serial ports available now, in the system's order, followed by the ports named in
// VELMORA_FLAT_EXTRA_PORTS, which are listed with the box's vendor 0x2341.
QList<SerialPortEntry> availableSerialPorts();

// The port names in a VELMORA_FLAT_EXTRA_PORTS text: device paths separated by ":" on Linux, COM names
// separated by ";" on Windows. Empty names are dropped.
QStringList extraPortNames(const QString &text);

// Asking the system for its serial ports takes tens of milliseconds (udev looks at every tty). Called first
// thing at start-up, this asks on a helper thread while the window is being built; the first
// availableSerialPorts() then takes that list, and later ones ask the system again.
void startSerialPortListing();
