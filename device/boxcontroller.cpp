#include "boxcontroller.h"

#include "eventwait.h"
#include "velmora/boxactions.h"
#include "velmora/flat.h"
#include "velmora/statusnames.h"

#include <QDebug>
#include <QPointer>

namespace {

// What a call on the worker shares with its outcome on the controller's thread.
struct Connection
{
    QString port;
    velmora::BoxReading reading;
};

struct ActionResult
{
    velmora::ActionOutcome outcome;
};

// The debug lines of the lamp-on attempts, the same for every front end.
void logLampOnAttempt(int, unsigned status)
{
    if (status == velmora::Ok)
        qDebug() << "switch lamp on";
    else
        qDebug() << "retry";
}

unsigned logLampOnOutcome(unsigned status)
{
    if (status != velmora::Ok)
        qDebug() << "switch lamp on error";
    return status;
}

QString statusText(unsigned status)
{
    return QString::fromStdString(velmora::statusName(status));
}

} // namespace

BoxController::BoxController(QObject *parent)
    : QObject(parent)
    , flat(std::make_unique<velmora::Flat>())
{
    qRegisterMetaType<BoxController::State>();
    workerContext = new QObject;
    workerContext->moveToThread(&worker);
    connect(&worker, &QThread::finished, workerContext, &QObject::deleteLater);
    worker.setObjectName(QStringLiteral("flat box"));
    worker.start();

    // The library may tell from its own thread; the state changes here, once no operation is under way.
    QPointer<BoxController> self(this);
    flat->setLostHandler([self](const std::string &port) {
        const QString name = QString::fromStdString(port);
        QMetaObject::invokeMethod(
            self.data(), [self, name] {
                if (self)
                    self->lostNotice(name);
            },
            Qt::QueuedConnection);
    });
}

BoxController::~BoxController()
{
    worker.quit();
    worker.wait();
    flat->setLostHandler({});
}

void BoxController::setModalDialog(bool open, const QString &title)
{
    const QString shownTitle = open ? title : QString();
    if (open == dialogOpen && shownTitle == dialogTitle)
        return;
    dialogOpen = open;
    dialogTitle = shownTitle;
    emit modalDialogChanged(dialogOpen, dialogTitle);
}

void BoxController::home(std::function<void()> step)
{
    QMetaObject::invokeMethod(this, std::move(step), Qt::QueuedConnection);
}

void BoxController::run(std::function<unsigned(velmora::Flat &)> call, std::function<void(unsigned)> done)
{
    ++pendingCalls;
    velmora::Flat *device = flat.get();
    QMetaObject::invokeMethod(
        workerContext, [this, device, call = std::move(call), done = std::move(done)] {
            const unsigned status = call(*device);
            home([this, status, done] {
                if (done)
                    done(status);
                callDone();
            });
        },
        Qt::QueuedConnection);
}

unsigned BoxController::runAndWait(std::function<unsigned(velmora::Flat &)> call, QEventLoop::ProcessEventsFlags flags)
{
    struct Wait
    {
        QEventLoop loop;
        unsigned status = velmora::NotConnected;
        bool finished = false;
    };
    auto wait = std::make_shared<Wait>();
    run(std::move(call), [wait](unsigned status) {
        wait->status = status;
        wait->finished = true;
        wait->loop.quit();
    });
    serveEventsUntil(wait->loop, wait->finished, flags);
    return wait->status;
}

void BoxController::callDone()
{
    --pendingCalls;
    if (!isBusy())
        release();
}

void BoxController::release()
{
    if (!lostPending.isEmpty()) {
        const QString port = lostPending;
        lostPending.clear();
        lostNotice(port);
    }
    if (!isBusy())
        emit idle();
}

BoxController::Hold::Hold(BoxController &controller) : controller(controller)
{
    ++controller.holders;
}

BoxController::Hold::~Hold()
{
    --controller.holders;
    if (!controller.isBusy())
        QMetaObject::invokeMethod(&controller, [c = QPointer<BoxController>(&controller)] {
            if (c && !c->isBusy())
                c->release();
        }, Qt::QueuedConnection);
}

void BoxController::search(const QList<SerialPortEntry> &ports, std::function<void(QString)> done)
{
    setState(Searching);
    auto found = std::make_shared<Connection>();
    run(
        [this, ports, found](velmora::Flat &device) -> unsigned {
            for (const SerialPortEntry &port : ports) {
                if (endAsked)
                    break;
                const QString name = port.name;
                qDebug() << "connect to " << name;
                if (port.vendorId != flatBoxVendorId)
                    continue;
                const velmora::ActionOutcome outcome =
                    velmora::connectAndRead(device, name.toUtf8().constData(), found->reading);
                if (!outcome.succeeded()) {
                    // A box that connected but did not report its lamp has been disconnected already.
                    if (outcome.failed == velmora::ActionStep::Connect)
                        device.disconnect();
                    qDebug() << "connection failed";
                    continue;
                }
                qDebug() << "connection accomplished";
                found->port = name;
                return velmora::Ok;
            }
            return velmora::NotConnected;
        },
        [this, found, done](unsigned) {
            if (found->port.isEmpty()) {
                setError(QStringLiteral("Flat box serial port not found"));
                setState(Disconnected);
            } else {
                showConnected(found->port, found->reading.lamp);
            }
            if (done)
                done(found->port);
        });
}

void BoxController::connectPort(const QString &portName, std::function<void(unsigned)> done)
{
    setState(Connecting);
    auto found = std::make_shared<Connection>();
    run(
        [portName, found](velmora::Flat &device) {
            return velmora::connectAndRead(device, portName.toUtf8().constData(), found->reading).status;
        },
        [this, portName, found, done](unsigned status) {
            if (status == velmora::Ok) {
                showConnected(portName, found->reading.lamp);
            } else {
                setError(QStringLiteral("Connection to %1 failed: %2").arg(portName, statusText(status)));
                setState(Disconnected);
            }
            if (done)
                done(status);
        });
}

// The lamp as the box reported it: a lamp lit since its power-up counts as switched on, as it would be by a switch.
void BoxController::showConnected(const QString &portName, const velmora::BoxState &lamp)
{
    setLamp(lamp.lampOn, lamp.lampOn);
    setLevel(int(lamp.brightness));
    setPort(portName);
    setState(Connected);
}

void BoxController::switchLampOn(std::function<void(unsigned)> done)
{
    run(
        [](velmora::Flat &device) {
            return logLampOnOutcome(
                velmora::switchLampOn(device, velmora::LampOnPause::AfterEveryAttempt, logLampOnAttempt));
        },
        [this, done](unsigned status) {
            setLamp(true, status == velmora::Ok);
            if (status != velmora::Ok)
                setError(QStringLiteral("The lamp did not light"));
            if (done)
                done(status);
        });
}

void BoxController::lightAtLevel(int level, std::function<void(const velmora::ActionOutcome &)> done)
{
    auto result = std::make_shared<ActionResult>();
    run(
        [level, result](velmora::Flat &device) {
            result->outcome = velmora::lightAtLevel(device, unsigned(level), logLampOnAttempt);
            if (result->outcome.failed == velmora::ActionStep::Lamp)
                logLampOnOutcome(result->outcome.status);
            return result->outcome.status;
        },
        [this, level, result, done](unsigned) {
            const velmora::ActionOutcome &outcome = result->outcome;
            if (outcome.failed == velmora::ActionStep::Level) {
                setError(QStringLiteral("The flat box refused brightness %1: %2")
                             .arg(QString::number(level), statusText(outcome.status)));
            } else {
                setLevel(level);
                setLamp(true, outcome.succeeded());
                if (!outcome.succeeded())
                    setError(QStringLiteral("The lamp did not light"));
            }
            if (done)
                done(outcome);
        });
}

void BoxController::switchLampOff(std::function<void(unsigned)> done)
{
    run([](velmora::Flat &device) { return velmora::switchOff(device).status; },
        [this, done](unsigned status) {
            setLevel(0);
            setLamp(false, status == velmora::Ok ? false : lit);
            if (done)
                done(status);
        });
}

void BoxController::turnLampOff(std::function<void(unsigned)> done)
{
    run([](velmora::Flat &device) { return device.turnOff(); },
        [this, done](unsigned status) {
            setLamp(false, status == velmora::Ok ? false : lit);
            if (done)
                done(status);
        });
}

void BoxController::setBrightness(int level, std::function<void(unsigned)> done)
{
    setLevel(level);
    run([level](velmora::Flat &device) { return device.setBrightness(static_cast<unsigned>(level)); },
        [this, level, done](unsigned status) {
            // A connect's reading may have come between the request and this answer.
            if (status == velmora::Ok)
                setLevel(level);
            else
                setError(QStringLiteral("The flat box refused brightness %1: %2")
                             .arg(QString::number(level), QString::fromStdString(velmora::statusName(status))));
            if (done)
                done(status);
        });
}

void BoxController::checkConnected(std::function<void(bool)> done)
{
    run(
        [](velmora::Flat &device) -> unsigned {
            bool connected = false;
            device.isFlatConnected(connected);
            return connected ? 1u : 0u;
        },
        [done](unsigned connected) {
            if (done)
                done(connected != 0);
        });
}

void BoxController::disconnectBox(std::function<void(unsigned)> done)
{
    run([](velmora::Flat &device) { return device.disconnect(); },
        [this, done](unsigned status) {
            if (status == velmora::Ok) {
                setLamp(false, false);
                setState(Disconnected);
            }
            if (done)
                done(status);
        });
}

void BoxController::reconnect(const QStringList &portNames, std::function<void(bool)> done)
{
    const velmora::BoxState wanted = stateAtLoss;
    const bool wasSwitchedOn = switchedOnAtLoss;
    auto found = std::make_shared<Connection>();
    auto result = std::make_shared<ActionResult>();
    run(
        [this, portNames, wanted, found, result](velmora::Flat &device) -> unsigned {
            for (const QString &name : portNames) {
                if (endAsked)
                    break;
                qDebug() << "connect to " << name;
                // A box that comes back while the program ends stays dark.
                result->outcome = velmora::restoreAfterReturn(device, name.toUtf8().constData(), wanted,
                                                              found->reading.identity, logLampOnAttempt,
                                                              [this] { return !endAsked; });
                if (result->outcome.failed == velmora::ActionStep::Connect) {
                    qDebug() << "connection failed";
                    continue;
                }
                if (wanted.lampOn && result->outcome.failed == velmora::ActionStep::Lamp)
                    logLampOnOutcome(result->outcome.status);
                found->port = name;
                return result->outcome.status;
            }
            return velmora::NotConnected;
        },
        [this, found, result, wanted, wasSwitchedOn, done](unsigned) {
            if (found->port.isEmpty()) {
                if (done)
                    done(false);
                return;
            }
            setLamp(wasSwitchedOn, wanted.lampOn && result->outcome.succeeded() && !endAsked);
            setLevel(int(wanted.brightness));
            setPort(found->port);
            setState(Connected);
            emit boxBack(found->port);
            if (done)
                done(true);
        });
}

void BoxController::shutDown(std::function<void()> done)
{
    endAsked = true;
    if (!shuttingDown) {
        shuttingDown = true;
        emit closing();
    }
    checkConnected([this, done](bool connected) {
        if (!connected) {
            if (done)
                done();
            return;
        }
        run([](velmora::Flat &device) {
            device.turnOff();
            return device.disconnect();
        },
            [this, done](unsigned) {
                setLamp(false, false);
                setState(Disconnected);
                if (done)
                    done();
            });
    });
}

// The box is gone: the lamp shows off and the level stays, for the user to see and for the box's return.
void BoxController::lostNotice(const QString &port)
{
    if (isBusy()) {
        lostPending = port;
        return;
    }
    if (boxState != Connected || shuttingDown)
        return;
    // On its return the lamp lights again if it was lit, or if the user had switched it on and it had not lit yet.
    switchedOnAtLoss = switchedOn;
    stateAtLoss = {switchedOn || lit, unsigned(lampLevel)};
    setLamp(false, false);
    setState(Lost);
    emit boxLost(port);
}

void BoxController::setState(State state)
{
    if (state == boxState)
        return;
    boxState = state;
    emit stateChanged(state);
}

void BoxController::setPort(const QString &port)
{
    if (port == boxPort)
        return;
    boxPort = port;
    emit portChanged(port);
}

void BoxController::setLamp(bool newSwitchedOn, bool newLit)
{
    if (newSwitchedOn == switchedOn && newLit == lit)
        return;
    switchedOn = newSwitchedOn;
    lit = newLit;
    emit lampChanged(switchedOn, lit);
}

void BoxController::setLevel(int level)
{
    if (level == lampLevel)
        return;
    lampLevel = level;
    emit levelChanged(level);
}

void BoxController::setError(const QString &newError)
{
    error = newError;
    emit errorChanged(error);
}

void BoxController::noteListedPorts(const QList<SerialPortEntry> &ports)
{
    QStringList names;
    for (const SerialPortEntry &port : ports)
        names.append(port.name);
    emit portsListed(names);
}

QList<SerialPortEntry> BoxController::listPorts()
{
    const QList<SerialPortEntry> ports = availableSerialPorts();
    for (const SerialPortEntry &port : ports) {
        qDebug() << "serial port: " << port.name;
        qDebug() << "vendor: " << uint(port.vendorId);
    }
    noteListedPorts(ports);
    return ports;
}
