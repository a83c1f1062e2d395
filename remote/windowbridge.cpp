#include "windowbridge.h"

#include "alpacasettings.h"
#include "publishedstate.h"
#include "serialports.h"
#include "ui_velmoraflat.h"
#include "velmora/flat.h"
#include "velmoraflat.h"

#include <QApplication>
#include <QDebug>
#include <QEvent>
#include <QSettings>
#include <QSignalBlocker>

namespace {

AlpacaWindowBridge::Outcome success()
{
    return {true, QString()};
}

AlpacaWindowBridge::Outcome failure(const QString &why)
{
    qDebug() << "alpaca command failed: " << why;
    return {false, why};
}

const QString closing = QStringLiteral("The panel is closing");

} // namespace

AlpacaWindowBridge::AlpacaWindowBridge(VelmoraFlat &window, alpaca::PublishedState &state)
    : window(window)
    , state(state)
{
    Ui_VelmoraFlat &ui = *window.ui;
    // The disconnect button is enabled exactly while the window is in its connected state, however it got there
    // (search, manual connect, a lost box); the lamp-dependent slider is enabled while the lamp is lit.
    ui.MT_serialDisconnect->installEventFilter(this);
    ui.MT_lampLevelSlider->installEventFilter(this);
    // A modal dialog blocks the window: its message box or file dialog waits for the user.
    window.installEventFilter(this);
    connect(ui.MT_lampSwitch, &QCheckBox::stateChanged, this, &AlpacaWindowBridge::publish);
    connect(ui.MT_lampLevelSlider, &QSlider::valueChanged, this, &AlpacaWindowBridge::publish);
    publish();
    publishDialog();
}

AlpacaWindowBridge::~AlpacaWindowBridge()
{
    close();
    window.removeEventFilter(this);
    window.ui->MT_serialDisconnect->removeEventFilter(this);
    window.ui->MT_lampLevelSlider->removeEventFilter(this);
}

void AlpacaWindowBridge::submitLamp(const alpaca::Command &command)
{
    const std::lock_guard<std::mutex> lock(mutex);
    if (closed)
        return;
    const bool alreadyQueued = waitingLamp.has_value();
    waitingLamp = command;
    if (alreadyQueued)
        return;
    state.commandAccepted();
    QMetaObject::invokeMethod(this, &AlpacaWindowBridge::runLamp, Qt::QueuedConnection);
}

void AlpacaWindowBridge::submitSearch(Done done)
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
    QMetaObject::invokeMethod(this, &AlpacaWindowBridge::runSearch, Qt::QueuedConnection);
}

void AlpacaWindowBridge::submitSettings(const alpaca::Settings &settings)
{
    QMetaObject::invokeMethod(this, [settings] {
        QSettings store;
        alpaca::writeSettings(store, settings);
    }, Qt::QueuedConnection);
}

void AlpacaWindowBridge::close()
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

QString AlpacaWindowBridge::blockedBy() const
{
    const QWidget *dialog = QApplication::activeModalWidget();
    return dialog ? alpaca::dialogRefusal(dialog->windowTitle()) : QString();
}

void AlpacaWindowBridge::runLamp()
{
    std::optional<alpaca::Command> command;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        command.swap(waitingLamp);
    }
    if (!command)
        return;
    // A dialog opened after the command was accepted: it is dropped and shows as the calibrator's error.
    const QString blocked = blockedBy();
    performing = true;
    const Outcome result = !blocked.isEmpty() ? failure(blocked)
                           : command->kind == alpaca::Command::CalibratorOn ? calibratorOn(command->brightness)
                                                                            : calibratorOff();
    performing = false;
    publish();
    state.setLastCommandFailed(!result.succeeded && boxConnected());
    state.commandDone();
}

void AlpacaWindowBridge::runSearch()
{
    std::vector<Done> waiters;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        waiters.swap(searchWaiters);
        searchQueued = false;
    }
    if (waiters.empty())
        return;
    const QString blocked = blockedBy();
    performing = true;
    const Outcome result = blocked.isEmpty() ? connectBoxKeepingPreference() : failure(blocked);
    performing = false;
    publish();
    for (const Done &done : waiters)
        done(result);
}

bool AlpacaWindowBridge::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        publish();
    else if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::WindowUnblocked) {
        publishDialog();
        // Qt may still list the closing dialog as the modal one while it sends the event.
        QMetaObject::invokeMethod(this, &AlpacaWindowBridge::publishDialog, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void AlpacaWindowBridge::publish()
{
    const Ui_VelmoraFlat &ui = *window.ui;
    state.publishWindow(boxConnected(), ui.MT_lampSwitch->isChecked(), lampLit(), ui.MT_lampLevelSlider->value());
    // What the user does in the window replaces the outcome of a client's failed command.
    if (!performing)
        state.setLastCommandFailed(false);
}

void AlpacaWindowBridge::publishDialog()
{
    const QWidget *dialog = QApplication::activeModalWidget();
    state.setDialog(dialog != nullptr, dialog ? dialog->windowTitle() : QString());
}

bool AlpacaWindowBridge::boxConnected() const
{
    return window.ui->MT_serialDisconnect->isEnabledTo(&window);
}

bool AlpacaWindowBridge::lampLit() const
{
    return window.ui->MT_lampLevelSlider->isEnabledTo(&window);
}

// As the user would: the lamp switch (with its three attempts), then the main slider.
AlpacaWindowBridge::Outcome AlpacaWindowBridge::calibratorOn(int level)
{
    if (!boxConnected())
        return failure(QStringLiteral("No flat box is connected"));
    QCheckBox *lampSwitch = window.ui->MT_lampSwitch;
    if (lampSwitch->isChecked() && !lampLit())
        lampSwitch->setChecked(false); // an earlier switch-on failed: switch off first, then on again
    if (!lampSwitch->isChecked())
        lampSwitch->setChecked(true);
    if (!lampSwitch->isChecked() || !lampLit())
        return failure(QStringLiteral("The lamp did not light"));

    QSlider *slider = window.ui->MT_lampLevelSlider;
    if (slider->value() != level)
        slider->setValue(level);
    else
        window.on_MT_lampLevelSlider_valueChanged(level); // the box gets the level even if the slider is there
    if (window.ui->MT_lampLevelSpinBox->value() != level)
        return failure(QStringLiteral("The flat box refused brightness %1").arg(level));
    return success();
}

AlpacaWindowBridge::Outcome AlpacaWindowBridge::calibratorOff()
{
    if (!boxConnected())
        return failure(QStringLiteral("No flat box is connected"));
    QCheckBox *lampSwitch = window.ui->MT_lampSwitch;
    if (lampSwitch->isChecked())
        lampSwitch->setChecked(false);
    else if (lampLit())
        window.on_MT_lampSwitch_stateChanged(Qt::Unchecked); // the lamp did not go out last time: again
    if (lampSwitch->isChecked() || lampLit())
        return failure(QStringLiteral("The lamp did not go out"));
    return success();
}

// The search checks or unchecks the automatic-search box, which stores the preference: a client's connect
// leaves both as the user set them.
AlpacaWindowBridge::Outcome AlpacaWindowBridge::connectBoxKeepingPreference()
{
    QCheckBox *autoSearch = window.ui->ST_autoSearch;
    const QSignalBlocker quiet(autoSearch);
    const bool wasChecked = autoSearch->isChecked();
    const Outcome result = connectBox();
    autoSearch->setChecked(wasChecked);
    return result;
}

// The search button's steps, without its message boxes: a client has no one at the window to press Ok.
AlpacaWindowBridge::Outcome AlpacaWindowBridge::connectBox()
{
    if (boxConnected())
        return success();
    window.ui->MT_serialCombo->clear();
    const QList<SerialPortEntry> ports = window.listPortsForSearch();
    if (ports.isEmpty())
        return failure(QStringLiteral("No serial port found"));
    if (window.connectFirstBoxPort(ports))
        return success();
    window.applyDisconnectedState();
    return failure(QStringLiteral("Flat box serial port not found"));
}
