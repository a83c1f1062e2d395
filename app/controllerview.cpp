// The window as a view of the box's controller: what another front end did (an Alpaca client, the lost-box
// watch) shows in the window's controls, without running their slots again.
#include "velmoraflat.h"

#include "ui_velmoraflat.h"

#include <QSignalBlocker>

void VelmoraFlat::followController()
{
    const auto follow = [this] {
        if (ownSteps == 0)
            showControllerState();
    };
    connect(controller, &BoxController::stateChanged, this, follow);
    connect(controller, &BoxController::lampChanged, this, follow);
    connect(controller, &BoxController::levelChanged, this, follow);
    connect(controller, &BoxController::portsListed, this, [this](const QStringList &names) {
        if (ownSteps == 0)
            showListedPorts(names);
    });
}

void VelmoraFlat::showControllerState()
{
    switch (controller->state()) {
    case BoxController::Searching:
    case BoxController::Connecting:
        statusLabel.setText(tr("FLAT BOX CONNECTING..."));
        return;
    case BoxController::Connected: {
        const int portIndex =
            ui->MT_serialCombo->findText(controller->port(), Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (portIndex >= 0)
            ui->MT_serialCombo->setCurrentIndex(portIndex);
        ui->MT_lampSwitch->setEnabled(true);
        showConnectionButtons(true);
        {
            const QSignalBlocker quiet(ui->MT_lampSwitch);
            ui->MT_lampSwitch->setChecked(controller->lampSwitchedOn());
        }
        setLampControlsEnabled(controller->lampOn());
        showLevelQuietly(controller->level());
        return;
    }
    case BoxController::Lost:
    case BoxController::Disconnected:
        // A lost box keeps its level on the controls, for the user to see and for its return.
        setLampControlsEnabled(false);
        switchOffLampSwitchQuietly();
        showConnectionButtons(false);
        return;
    }
}

void VelmoraFlat::showListedPorts(const QStringList &names)
{
    const QSignalBlocker quiet(ui->MT_serialCombo);
    ui->MT_serialCombo->clear();
    ui->MT_serialCombo->addItems(names);
}

void VelmoraFlat::showLevelQuietly(int level)
{
    for (QWidget *control : QList<QWidget *>{ui->MT_lampLevelSlider, ui->ST_lampLevelSlider, ui->MT_lampLevelSpinBox,
                                             ui->ST_lampLevelSpinBox}) {
        const QSignalBlocker quiet(control);
        if (auto *slider = qobject_cast<QAbstractSlider *>(control))
            slider->setValue(level);
        else if (auto *spinBox = qobject_cast<QSpinBox *>(control))
            spinBox->setValue(level);
    }
}
