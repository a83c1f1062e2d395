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
    connect(ui.MT_lampSwitch, &QCheckBox::stateChanged, this, &AlpacaWindowBridge::publish);
    connect(ui.MT_lampLevelSlider, &QSlider::valueChanged, this, &AlpacaWindowBridge::publish);
    retry.setSingleShot(true);
    retry.setInterval(50);
    connect(&retry, &QTimer::timeout, this, &AlpacaWindowBridge::runWaiting);
    publish();
}

AlpacaWindowBridge::~AlpacaWindowBridge()
{
    close();
    window.ui->MT_serialDisconnect->removeEventFilter(this);
    window.ui->MT_lampLevelSlider->removeEventFilter(this);
}

std::future<AlpacaWindowBridge::Outcome> AlpacaWindowBridge::submit(const alpaca::Command &command)
{
    auto promise = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> outcome = promise->get_future();
    const std::lock_guard<std::mutex> lock(submitMutex);
    if (closed) {
        promise->set_value({false, QStringLiteral("The panel is closing")});
        return outcome;
    }
    const bool windowCommand = command.kind == alpaca::Command::CalibratorOn
                               || command.kind == alpaca::Command::CalibratorOff;
    if (windowCommand)
        state.commandAccepted();
    if (command.kind == alpaca::Command::ConnectBox)
        state.setConnecting(true);
    auto job = [this, command, promise, windowCommand] {
        const Outcome result = perform(command);
        if (windowCommand) {
            state.setLastCommandFailed(!result.succeeded && boxConnected());
            state.commandDone();
        }
        if (command.kind == alpaca::Command::ConnectBox) {
            if (result.succeeded)
                state.connectClient(command.clientId);
            state.setConnecting(false);
        }
        promise->set_value(result);
    };
    QMetaObject::invokeMethod(this, [this, job] { runWhenIdle(job); }, Qt::QueuedConnection);
    return outcome;
}

void AlpacaWindowBridge::close()
{
    {
        const std::lock_guard<std::mutex> lock(submitMutex);
        closed = true;
    }
    retry.stop();
    waiting.clear();
}

void AlpacaWindowBridge::runWhenIdle(std::function<void()> job)
{
    waiting.push_back(std::move(job));
    runWaiting();
}

void AlpacaWindowBridge::runWaiting()
{
    while (!waiting.empty()) {
        if (QApplication::activeModalWidget()) {
            retry.start();
            return;
        }
        const std::function<void()> job = std::move(waiting.front());
        waiting.pop_front();
        job();
    }
}

AlpacaWindowBridge::Outcome AlpacaWindowBridge::perform(const alpaca::Command &command)
{
    performing = true;
    Outcome result = success();
    switch (command.kind) {
    case alpaca::Command::CalibratorOn:
        result = calibratorOn(command.brightness);
        break;
    case alpaca::Command::CalibratorOff:
        result = calibratorOff();
        break;
    case alpaca::Command::ConnectBox:
        result = connectBox();
        break;
    case alpaca::Command::StoreSettings: {
        QSettings store;
        alpaca::writeSettings(store, command.settings);
        break;
    }
    default:
        break;
    }
    performing = false;
    publish();
    return result;
}

bool AlpacaWindowBridge::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        publish();
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
