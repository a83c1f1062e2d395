#include "boxbridge.h"

#include "alpacasettings.h"
#include "boxcontroller.h"
#include "publishedstate.h"
#include "velmora/boxactions.h"

#include <QDebug>
#include <QPointer>
#include <QSettings>

namespace {

AlpacaBoxBridge::Outcome success()
{
    return {true, QString()};
}

AlpacaBoxBridge::Outcome failure(const QString &why)
{
    qDebug() << "alpaca command failed: " << why;
    return {false, why};
}

const QString closing = QStringLiteral("The panel is closing");

} // namespace

AlpacaBoxBridge::AlpacaBoxBridge(BoxController &controller, alpaca::PublishedState &state)
    : controller(controller)
    , state(state)
{
    connect(&controller, &BoxController::stateChanged, this, &AlpacaBoxBridge::publish);
    connect(&controller, &BoxController::lampChanged, this, &AlpacaBoxBridge::publish);
    connect(&controller, &BoxController::levelChanged, this, &AlpacaBoxBridge::publish);
    connect(&controller, &BoxController::modalDialogChanged, this, &AlpacaBoxBridge::publishDialog);
    connect(&controller, &BoxController::idle, this, &AlpacaBoxBridge::runWaiting, Qt::QueuedConnection);
    publish();
    publishDialog();
}

AlpacaBoxBridge::~AlpacaBoxBridge()
{
    close();
}

void AlpacaBoxBridge::submitLamp(const alpaca::Command &command)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (closed)
        return;
    const bool alreadyQueued = waitingLamp.has_value();
    waitingLamp = command;
    if (alreadyQueued)
        return;
    state.commandAccepted();
    QMetaObject::invokeMethod(this, &AlpacaBoxBridge::runLamp, Qt::QueuedConnection);
}

void AlpacaBoxBridge::submitSearch(Done done)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (closed) {
        lock.unlock();
        done({false, closing});
        return;
    }
    searchWaiters.push_back(std::move(done));
    if (searchQueued)
        return;
    searchQueued = true;
    QMetaObject::invokeMethod(this, &AlpacaBoxBridge::runSearch, Qt::QueuedConnection);
}

void AlpacaBoxBridge::submitSettings(const alpaca::Settings &settings)
{
    QMetaObject::invokeMethod(this, [settings] {
        QSettings store;
        alpaca::writeSettings(store, settings);
    }, Qt::QueuedConnection);
}

void AlpacaBoxBridge::close()
{
    std::vector<Done> waiters;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        closed = true;
        waiters.swap(searchWaiters);
        if (waitingLamp) {
            waitingLamp.reset();
            state.commandDone();
        }
    }
    for (const Done &done : waiters)
        done({false, closing});
}

QString AlpacaBoxBridge::blockedBy() const
{
    return controller.modalDialogOpen() ? alpaca::dialogRefusal(controller.modalDialogTitle()) : QString();
}

// Commands that came while another front end's operation ran go on once it has ended.
void AlpacaBoxBridge::runWaiting()
{
    runSearch();
    runLamp();
}

void AlpacaBoxBridge::runLamp()
{
    // A dialog opened after the command was accepted: it is dropped and shows as the calibrator's error.
    const QString blocked = blockedBy();
    if (blocked.isEmpty() && controller.isBusy())
        return;
    std::optional<alpaca::Command> command;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        command.swap(waitingLamp);
    }
    if (!command)
        return;
    if (!blocked.isEmpty()) {
        finishLamp(failure(blocked));
        return;
    }
    hold = std::make_shared<BoxController::Hold>(controller);
    performing = true;
    const QPointer<AlpacaBoxBridge> self(this);
    const Done done = [self](const Outcome &result) {
        if (self)
            self->finishLamp(result);
    };
    if (command->kind == alpaca::Command::CalibratorOn)
        calibratorOn(command->brightness, done);
    else
        calibratorOff(done);
}

void AlpacaBoxBridge::finishLamp(const Outcome &result)
{
    performing = false;
    hold.reset();
    publish();
    state.setLastCommandFailed(!result.succeeded && boxConnected());
    state.commandDone();
}

void AlpacaBoxBridge::runSearch()
{
    const QString blocked = blockedBy();
    if (blocked.isEmpty() && controller.isBusy())
        return;
    std::vector<Done> waiters;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        waiters.swap(searchWaiters);
        searchQueued = false;
    }
    if (waiters.empty())
        return;
    const QPointer<AlpacaBoxBridge> self(this);
    // A server closed meanwhile has answered its clients already.
    const Done finish = [self, waiters](const Outcome &result) {
        if (!self)
            return;
        self->performing = false;
        self->hold.reset();
        self->publish();
        for (const Done &done : waiters)
            done(result);
    };
    if (!blocked.isEmpty()) {
        finish(failure(blocked));
        return;
    }
    hold = std::make_shared<BoxController::Hold>(controller);
    performing = true;
    connectBox(finish);
}

void AlpacaBoxBridge::publish()
{
    const bool lampSwitchedOn = controller.lampSwitchedOn();
    state.publishWindow(boxConnected(), lampSwitchedOn, controller.lampOn(), controller.level());
    // What the user does in the window replaces the outcome of a client's failed command.
    if (!performing)
        state.setLastCommandFailed(false);
}

void AlpacaBoxBridge::publishDialog()
{
    state.setDialog(controller.modalDialogOpen(), controller.modalDialogTitle());
}

bool AlpacaBoxBridge::boxConnected() const
{
    return controller.state() == BoxController::Connected;
}

// A lamp switched on and lit (by a switch, or by itself at power-up) gets the level; otherwise the level, then the
// lamp-on attempts (from a lamp that is off, or switched on but dark after three failed attempts alike).
void AlpacaBoxBridge::calibratorOn(int level, const Done &done)
{
    if (!boxConnected()) {
        done(failure(QStringLiteral("No flat box is connected")));
        return;
    }
    if (controller.lampSwitchedOn() && controller.lampOn()) {
        setLevel(level, done);
        return;
    }
    controller.lightAtLevel(level, [level, done](const velmora::ActionOutcome &outcome) {
        if (outcome.failed == velmora::ActionStep::Level)
            done(failure(QStringLiteral("The flat box refused brightness %1").arg(level)));
        else
            done(outcome.succeeded() ? success() : failure(QStringLiteral("The lamp did not light")));
    });
}

void AlpacaBoxBridge::setLevel(int level, const Done &done)
{
    controller.setBrightness(level, [level, done](unsigned status) {
        done(status == 0 ? success() : failure(QStringLiteral("The flat box refused brightness %1").arg(level)));
    });
}

void AlpacaBoxBridge::calibratorOff(const Done &done)
{
    if (!boxConnected()) {
        done(failure(QStringLiteral("No flat box is connected")));
        return;
    }
    if (!controller.lampSwitchedOn() && !controller.lampOn()) {
        done(success());
        return;
    }
    controller.switchLampOff([&controller = controller, done](unsigned status) {
        qDebug() << (status == 0 ? "switch lamp off" : "switch lamp off error");
        done(controller.lampOn() ? failure(QStringLiteral("The lamp did not go out")) : success());
    });
}

// The search button's steps, without its message boxes: a client has no one at the window to press Ok. The
// automatic-search preference stays as the user set it.
void AlpacaBoxBridge::connectBox(const Done &done)
{
    if (boxConnected()) {
        done(success());
        return;
    }
    const QList<SerialPortEntry> ports = controller.listPorts();
    if (ports.isEmpty()) {
        done(failure(QStringLiteral("No serial port found")));
        return;
    }
    controller.search(ports, [done](const QString &port) {
        done(port.isEmpty() ? failure(QStringLiteral("Flat box serial port not found")) : success());
    });
}
