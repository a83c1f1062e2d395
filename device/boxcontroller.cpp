#include "boxcontroller.h"

#include "eventwait.h"
#include "velmora/flat.h"
#include "velmora/lampswitch.h"
#include "velmora/statusnames.h"

#include <QDebug>
#include <QPointer>

namespace {

// What a call that ends with a state change shares with its outcome on the controller's thread.
struct LampOutcome
{
    unsigned status = velmora::NotConnected;
};

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
    auto found = std::make_shared<QString>();
    run(
        [this, ports, found](velmora::Flat &device) -> unsigned {
            const bool flag = false;
            for (const SerialPortEntry &port : ports) {
                if (endAsked)
                    break;
                const QString name = port.name;
                qDebug() << "connect to " << name;
                if (port.vendorId != flatBoxVendorId)
                    continue;
                if (device.connect(name.toUtf8().constData(), flag) != velmora::Ok) {
                    device.disconnect();
                    qDebug() << "connection failed";
                    continue;
                }
                qDebug() << "connection accomplished";
                *found = name;
                return velmora::Ok;
            }
            return velmora::NotConnected;
        },
        [this, found, done](unsigned) {
            if (found->isEmpty()) {
                setError(QStringLiteral("Flat box serial port not found"));
                setState(Disconnected);
            } else {
                setLamp(false, false);
                setPort(*found);
                setState(Connected);
            }
            if (done)
                done(*found);
        });
}

void BoxController::connectPort(const QString &portName, std::function<void(unsigned)> done)
{
    setState(Connecting);
    run(
        [portName](velmora::Flat &device) {
            const bool flag = false;
            return device.connect(portName.toUtf8().constData(), flag);
        },
        [this, portName, done](unsigned status) {
            if (status == velmora::Ok) {
                setLamp(false, false);
                setPort(portName);
                setState(Connected);
            } else {
                setError(QStringLiteral("Connection to %1 failed: %2")
                             .arg(portName, QString::fromStdString(velmora::statusName(status))));
                setState(Disconnected);
            }
            if (done)
                done(status);
        });
}

void BoxController::switchLampOn(std::function<void(unsigned)> done)
{
    run(
        [](velmora::Flat &device) {
            const unsigned status = velmora::switchLampOn(device, [](int, unsigned attemptStatus) {
                if (attemptStatus == velmora::Ok)
                    qDebug() << "switch lamp on";
                else
                    qDebug() << "retry";
            });
            if (status != velmora::Ok)
                qDebug() << "switch lamp on error";
            return status;
        },
        [this, done](unsigned status) {
            setLamp(true, status == velmora::Ok);
            if (status != velmora::Ok)
                setError(QStringLiteral("The lamp did not light"));
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
            if (status != velmora::Ok)
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
    const bool relight = lampWasOn;
    const int relightLevel = lampLevel;
    auto found = std::make_shared<QString>();
    auto lamp = std::make_shared<LampOutcome>();
    run(
        [this, portNames, relight, relightLevel, found, lamp](velmora::Flat &device) -> unsigned {
            const bool flag = false;
            for (const QString &name : portNames) {
                if (endAsked)
                    break;
                qDebug() << "connect to " << name;
                if (device.connect(name.toUtf8().constData(), flag) != velmora::Ok) {
                    qDebug() << "connection failed";
                    continue;
                }
                *found = name;
                break;
            }
            // A box that comes back while the program ends stays dark.
            if (found->isEmpty() || !relight || endAsked)
                return velmora::NotConnected;
            // The lamp goes on again as the user's switch does it, then gets the level it had.
            bool connected = false;
            device.isFlatConnected(connected);
            lamp->status = velmora::switchLampOn(device, [](int, unsigned attemptStatus) {
                if (attemptStatus == velmora::Ok)
                    qDebug() << "switch lamp on";
                else
                    qDebug() << "retry";
            });
            if (lamp->status != velmora::Ok)
                qDebug() << "switch lamp on error";
            else
                device.setBrightness(0);
            device.setBrightness(static_cast<unsigned>(relightLevel));
            return lamp->status;
        },
        [this, found, lamp, relight, relightLevel, done](unsigned) {
            if (found->isEmpty()) {
                if (done)
                    done(false);
                return;
            }
            setLamp(relight, relight && lamp->status == velmora::Ok);
            setLevel(relightLevel);
            setPort(*found);
            setState(Connected);
            emit boxBack(*found);
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
    lampWasOn = switchedOn;
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
