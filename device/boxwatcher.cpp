#include "boxwatcher.h"

#include "serialports.h"
#include "ui_velmoraflat.h"
#include "velmora/flat.h"
#include "velmoraflat.h"

#include <QDebug>
#include <QEvent>
#include <QPointer>

BoxWatcher *watchForLostBox(VelmoraFlat &window)
{
    return new BoxWatcher(window);
}

BoxWatcher::BoxWatcher(VelmoraFlat &window) : QObject(&window), window(window)
{
    // The device may outlive this watcher (a test may delete it); the handler then does nothing. The
    // library calls it on its own thread until it has seen this thread run its event loop (at start-up):
    // the window is only ever touched from its own thread.
    QPointer<BoxWatcher> self(this);
    window.device->setLostHandler([self](const std::string &port) {
        const QString name = QString::fromStdString(port);
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self, [self, name] {
                if (self)
                    self->boxLost(name);
            },
            Qt::AutoConnection);
    });
    connect(&portWatch, &PortReturnWatch::portsChanged, this, &BoxWatcher::lookForBox);

    // The user's own connection buttons end the wait; they act on pressed, after the window's slot.
    Ui_VelmoraFlat *ui = window.ui;
    for (QAbstractButton *button : {static_cast<QAbstractButton *>(ui->MT_serialDisconnect),
                                    static_cast<QAbstractButton *>(ui->MT_serialConnect),
                                    static_cast<QAbstractButton *>(ui->ST_connectButton)})
        connect(button, &QAbstractButton::pressed, this, &BoxWatcher::stopWaiting);
    window.installEventFilter(this);
    ui->MT_serialDisconnect->installEventFilter(this);
    noteConnectedPort();
}

// A closing window waits for nothing more; its close handler finds no box and sends nothing.
bool BoxWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window.ui->MT_serialDisconnect && event->type() == QEvent::EnabledChange)
        noteConnectedPort();
    if (watched == &window && event->type() == QEvent::Close) {
        windowClosed = true;
        stopWaiting();
    }
    return QObject::eventFilter(watched, event);
}

void BoxWatcher::boxLost(const QString &portName)
{
    if (windowClosed)
        return;
    qDebug() << "flat box lost" << portName;
    showLost();
    lostPort = portName;
    // The node as it was while connected: one made anew before this notice came is a return.
    lostPortNode = connectedNode;
    // Watching starts before the snapshot, then one look: a port back at once is not missed.
    portWatch.start(portName);
    knownPorts = listedPortNames();
    lookForBox();
}

// Connected, by whatever way: the node of the port in use, for telling a return from the lost node.
void BoxWatcher::noteConnectedPort()
{
    if (window.ui->MT_serialDisconnect->isEnabled())
        connectedNode = serialPortNodeIdentity(window.ui->MT_serialCombo->currentText());
}

// The connection controls as after a disconnect, but the brightness keeps the level in use, for the
// user to see and for the box when it returns. The device is not called: the library has closed the port.
void BoxWatcher::showLost()
{
    Ui_VelmoraFlat *ui = window.ui;
    lampWasOn = ui->MT_lampSwitch->isChecked();
    lampLevel = ui->MT_lampLevelSlider->value();
    window.setLampControlsEnabled(false);
    window.switchOffLampSwitchQuietly();
    window.showConnectionButtons(false);
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

// The lost port back under its name (its node made anew), or else a box port that was not listed
// before; each is tried once until it goes and comes again. The lost node is looked at first; the ports
// are listed only when that name is gone, for a box that may have come back under another.
void BoxWatcher::lookForBox()
{
    if (lostPort.isEmpty())
        return;
    // Connected meanwhile by another way than the window's buttons (an Alpaca client's connect).
    if (window.ui->MT_serialDisconnect->isEnabled()) {
        stopWaiting();
        return;
    }
#if defined(Q_OS_UNIX)
    const QByteArray node = serialPortNodeIdentity(lostPort);
    const bool lostPortBack = !node.isEmpty() && node != lostPortNode;
    lostPortNode = node;
    if (lostPortBack) {
        reconnect(lostPort);
        return;
    }
    if (!node.isEmpty())
        return;
#endif
    const QList<SerialPortEntry> ports = availableSerialPorts();
    QStringList names;
    for (const SerialPortEntry &port : ports)
        names.append(port.name);
    QStringList candidates;
#if !defined(Q_OS_UNIX)
    if (names.contains(lostPort)) {
        if (!knownPorts.contains(lostPort))
            candidates.append(lostPort);
        knownPorts = names;
        for (const QString &name : candidates)
            reconnect(name);
        return;
    }
#endif
    for (const SerialPortEntry &port : ports)
        if (port.vendorId == flatBoxVendorId && port.name != lostPort && !knownPorts.contains(port.name))
            candidates.append(port.name);
    knownPorts = names;

    for (const QString &name : candidates)
        if (reconnect(name))
            return;
}

// The box resets when its port opens: connect waits for its boot.
bool BoxWatcher::reconnect(const QString &portName)
{
    qDebug() << "connect to " << portName;
    const QByteArray name = portName.toUtf8();
    const bool flag = false;
    if (window.device->connect(name.constData(), flag) != 0) {
        qDebug() << "connection failed";
        return false;
    }
    showBack(portName);
    return true;
}

// The controls as after a connect; the lamp goes on again through the switch as the user would switch
// it, then gets the level it had.
void BoxWatcher::showBack(const QString &portName)
{
    stopWaiting();
    Ui_VelmoraFlat *ui = window.ui;
    const int portIndex = ui->MT_serialCombo->findText(portName, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (portIndex >= 0)
        ui->MT_serialCombo->setCurrentIndex(portIndex);
    ui->MT_lampSwitch->setEnabled(true);
    window.showConnectionButtons(true);
    if (lampWasOn) {
        ui->MT_lampSwitch->setChecked(true);
        window.on_MT_lampLevelSlider_valueChanged(lampLevel);
    }
    qDebug() << "flat box back";
}
