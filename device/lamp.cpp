// The lamp switch and the four brightness controls.
#include "velmoraflat.h"

#include "ui_velmoraflat.h"
#include "velmora/flat.h"

#include <QDebug>
#include <QSignalBlocker>
#include <QThread>

namespace {

constexpr int lampOnAttempts = 3;
constexpr unsigned long pauseAfterTurnOnMs = 200;

// The box does not always light at the first command; it gets a pause after every attempt.
bool turnLampOn(velmora::Flat &device)
{
    for (int attempt = 0; attempt < lampOnAttempts; ++attempt) {
        const unsigned int status = device.turnOn();
        QThread::msleep(pauseAfterTurnOnMs);
        if (status == 0) {
            qDebug() << "switch lamp on";
            return true;
        }
        qDebug() << "retry";
    }
    qDebug() << "switch lamp on error";
    return false;
}

} // namespace

void VelmoraFlat::on_MT_lampSwitch_stateChanged(int state)
{
    bool connected = false;
    device->isFlatConnected(connected);
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
        if (!turnLampOn(*device))
            return;
        on_MT_lampLevelSlider_valueChanged(0);
        setLampControlsEnabled(true);
        return;
    }

    // Brightness 0 reaches the box before the lamp goes out.
    on_MT_lampLevelSlider_valueChanged(0);
    if (device->turnOff() != 0) {
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
    const unsigned level = static_cast<unsigned>(value);
    if (device->setBrightness(level) != 0)
        return;
    ui->MT_lampLevelSpinBox->setValue(value);
    ui->ST_lampLevelSlider->setValue(value);
    ui->ST_lampLevelSpinBox->setValue(value);
}

void VelmoraFlat::on_ST_lampLevelSlider_valueChanged(int value)
{
    const unsigned level = static_cast<unsigned>(value);
    if (device->setBrightness(level) != 0)
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
