// The lamp switch and the four brightness controls.
#include "velmoraflat.h"

#include "controllerwait.h"
#include "ui_velmoraflat.h"

#include <QDebug>
#include <QSignalBlocker>

void VelmoraFlat::on_MT_lampSwitch_stateChanged(int state)
{
    const OwnSteps steps(*this);
    const bool connected = waitFor<bool>(
        [this](std::function<void(bool)> done) { controller->checkConnected(done); }, QEventLoop::ExcludeUserInputEvents);
    const bool switchedOn = state != 0;

    if (!connected) {
        qDebug() << (switchedOn ? "lamp on error (not connected)" : "lamp off error (not connected)");
        const QSignalBlocker blocker(ui->MT_lampSwitch);
        ui->MT_lampSwitch->setChecked(!switchedOn);
        return;
    }

    if (switchedOn) {
        // After three failed attempts the switch stays checked with the lamp controls disabled;
        // toggling it again retries.
        // The attempts and their pauses run on the controller's thread.
        unsigned status = 0;
        {
            const PausedControls paused(operationControls());
            status = waitFor<unsigned>([this](std::function<void(unsigned)> done) { controller->switchLampOn(done); });
        }
        if (status != 0)
            return;
        on_MT_lampLevelSlider_valueChanged(0);
        setLampControlsEnabled(true);
        return;
    }

    // Brightness 0 reaches the box before the lamp goes out.
    on_MT_lampLevelSlider_valueChanged(0);
    if (waitFor<unsigned>([this](std::function<void(unsigned)> done) { controller->turnLampOff(done); },
                          QEventLoop::ExcludeUserInputEvents)
        != 0) {
        qDebug() << "switch lamp off error";
        return;
    }
    qDebug() << "switch lamp off";
    setLampControlsEnabled(false);
}

// The four brightness controls keep each other in step through their own valueChanged signals: setValue
// signals only a real change, so the chain ends once all four hold the new value. Both sliders send it.

void VelmoraFlat::on_MT_lampLevelSlider_valueChanged(int value)
{
    if (setBrightnessAndWait(value) != 0)
        return;
    ui->MT_lampLevelSpinBox->setValue(value);
    ui->ST_lampLevelSlider->setValue(value);
    ui->ST_lampLevelSpinBox->setValue(value);
}

void VelmoraFlat::on_ST_lampLevelSlider_valueChanged(int value)
{
    if (setBrightnessAndWait(value) != 0)
        return;
    ui->MT_lampLevelSlider->setValue(value);
    ui->MT_lampLevelSpinBox->setValue(value);
    ui->ST_lampLevelSpinBox->setValue(value);
}

void VelmoraFlat::on_MT_lampLevelSpinBox_valueChanged(int value)
{
    ui->MT_lampLevelSlider->setValue(value);
    ui->ST_lampLevelSlider->setValue(value);
}

void VelmoraFlat::on_ST_lampLevelSpinBox_valueChanged(int value)
{
    ui->MT_lampLevelSlider->setValue(value);
    ui->ST_lampLevelSlider->setValue(value);
}

// The status decides the next step; user input waits meanwhile, so that a slider dragged on does not start a
// second change inside this one, and the level changes reach the box in their order.
unsigned VelmoraFlat::setBrightnessAndWait(int value)
{
    const OwnSteps steps(*this);
    return waitFor<unsigned>([this, value](std::function<void(unsigned)> done) { controller->setBrightness(value, done); },
                             QEventLoop::ExcludeUserInputEvents);
}
