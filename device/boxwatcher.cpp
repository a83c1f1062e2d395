#include "boxwatcher.h"

#include "boxcontroller.h"
#include "serialports.h"

#include <QDebug>
#include <QFile>
#include <QPointer>

BoxWatcher *watchForLostBox(BoxController &controller)
{
    return new BoxWatcher(controller);
}

BoxWatcher::BoxWatcher(BoxController &controller) : QObject(&controller), controller(controller)
{
    connect(&controller, &BoxController::boxLost, this, &BoxWatcher::boxLost);
    connect(&controller, &BoxController::stateChanged, this, &BoxWatcher::stateChanged);
    // A port that came while an operation ran is looked at once it has ended.
    connect(&controller, &BoxController::idle, this, &BoxWatcher::lookForBox);
    // A closing program waits for nothing more.
    connect(&controller, &BoxController::closing, this, [this] {
        closed = true;
        stopWaiting();
    });
    connect(&portWatch, &PortReturnWatch::portsChanged, this, &BoxWatcher::lookForBox);
    noteConnectedPort();
}

void BoxWatcher::boxLost(const QString &portName)
{
    if (closed)
        return;
    qDebug() << "flat box lost" << portName;
    lostPort = portName;
    // The node as it was while connected: one made anew before this notice came is a return.
    lostPortReturn = velmora::PortReturn(QFile::encodeName(portName).toStdString(), connectedNode);
    // Watching starts before the snapshot, then one look: a port back at once is not missed.
    portWatch.start(portName);
    knownPorts = listedPortNames();
    lookForBox();
}

// Connected, by whatever way, ends the wait (the user's buttons, an Alpaca client's connect); the node of the
// port in use is kept, for telling a return from the lost node.
void BoxWatcher::stateChanged()
{
    if (!reconnecting && controller.state() != BoxController::Lost)
        stopWaiting();
    noteConnectedPort();
}

void BoxWatcher::noteConnectedPort()
{
    if (controller.state() == BoxController::Connected)
        connectedNode = velmora::portNodeOf(QFile::encodeName(controller.port()).toStdString());
}

void BoxWatcher::stopWaiting()
{
    portWatch.stop();
    lostPort.clear();
}

QStringList BoxWatcher::listedPortNames()
{
    QStringList names;
    for (const SerialPortEntry &port : availableSerialPorts())
        names.append(port.name);
    return names;
}

// The lost port back under its name (its node made anew, or on Windows its COM port gone and there again), or
// else a box port that was not listed before; each is tried once until it goes and comes again. The lost node is
// looked at first; the ports are listed only when that name is gone, for a box that may have come back under
// another.
void BoxWatcher::lookForBox()
{
    if (lostPort.isEmpty() || reconnecting || controller.isBusy())
        return;
    if (lostPortReturn.hasComeBack()) {
        reconnect({lostPort});
        return;
    }
    if (lostPortReturn.lastSeen().exists)
        return;
    const QList<SerialPortEntry> ports = availableSerialPorts();
    QStringList names;
    for (const SerialPortEntry &port : ports)
        names.append(port.name);
    QStringList candidates;
    for (const SerialPortEntry &port : ports)
        if (port.vendorId == flatBoxVendorId && port.name != lostPort && !knownPorts.contains(port.name))
            candidates.append(port.name);
    knownPorts = names;
    if (!candidates.isEmpty())
        reconnect(candidates);
}

// The box resets when its port opens: the controller's connect waits for its boot, on its own thread.
void BoxWatcher::reconnect(const QStringList &portNames)
{
    reconnecting = true;
    const QPointer<BoxWatcher> self(this);
    controller.reconnect(portNames, [self](bool back) {
        if (!self)
            return;
        self->reconnected(back);
    });
}

void BoxWatcher::reconnected(bool back)
{
    reconnecting = false;
    if (!back)
        return;
    stopWaiting();
    qDebug() << "flat box back";
}
