#pragma once

// Control of the test double that stands in for the device library in the window tests.
// The window makes one velmora::Flat; the double records every call of every instance in one global log.

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <string>

namespace fakeflat {

struct Call
{
    QString op;        // "connect", "disconnect", "isFlatConnected", "turnOn", "turnOff", "setBrightness", "readState",
                       // "getAPIversion"
    QVariantList args; // connect: port name (QString), flag (bool); setBrightness: level (uint)
};

// Forgets the calls and the scripted statuses; not connected; version "fake 1.0". A lost handler stays.
void reset();

QList<Call> calls();
QStringList callNames();
// The calls of one operation only, e.g. every setBrightness with its level.
QList<Call> callsOf(const QString &op);
void clearCalls();

// The next call of `op` returns `status` (one queue per operation; an empty queue answers 0).
void queueStatus(const QString &op, unsigned int status);
void queueStatuses(const QString &op, const QList<unsigned int> &statuses);

// What isFlatConnected reports. A successful connect sets it, a successful disconnect clears it.
void setConnected(bool connected);
bool connected();

// When false, isFlatConnected leaves the caller's flag alone (as a library that cannot tell).
void setReportsConnection(bool reports);

void setVersion(const std::string &version);

// What readState reports (when its status is 0): the lamp lit or dark, and its level. Dark at 0 after reset().
void setBoxState(bool lampOn, unsigned level);

// The box of the last successful connect goes away: not connected from now on, and the lost handler,
// if one is set, hears of it with that port's name from the event loop, as the library tells it.
void loseBox();

// Number of velmora::Flat objects alive.
int liveInstances();

} // namespace fakeflat
