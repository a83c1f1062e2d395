#include "fakeports.h"

namespace {

struct PortState
{
    QList<SerialPortEntry> ports;
    int listings = 0;
};

PortState &state()
{
    static PortState s;
    return s;
}

} // namespace

namespace fakeports {

void set(const QList<SerialPortEntry> &ports) { state().ports = ports; }

void clear() { state() = PortState(); }

int listings() { return state().listings; }

} // namespace fakeports

QList<SerialPortEntry> availableSerialPorts()
{
    ++state().listings;
    return state().ports;
}
