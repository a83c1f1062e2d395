// Port search, connection and disconnection of the flat box.
#include "velmoraflat.h"

#include "controllerwait.h"
#include "serialports.h"
#include "ui_velmoraflat.h"

#include <QDebug>
#include <QMessageBox>
#include <QSettings>
#include <QSignalBlocker>

void VelmoraFlat::searchAndConnect(const QString &autoSearch)
{
    runPortSearch(true, autoSearch);
}

void VelmoraFlat::searchAndConnect()
{
    runPortSearch(false, QString());
}

void VelmoraFlat::runPortSearch(bool fromConstructor, const QString &autoSearch)
{
    // The constructor finds the list empty; the search button rebuilds it from scratch.
    if (!fromConstructor)
        ui->MT_serialCombo->clear();

    const QList<SerialPortEntry> ports = listPortsForSearch();
    if (ports.isEmpty()) {
        QMessageBox::warning(this, tr("Serial Port Search Failed"),
                             tr("No serial port found. Please check the VELMORA flat box connection cable and "
                                "power supply"),
                             QMessageBox::Ok, QMessageBox::NoButton);
        if (!fromConstructor)
            return;
    }
    if (fromConstructor && (autoSearch != QLatin1String("true") || ports.isEmpty())) {
        applyDisconnectedState();
        return;
    }

    if (connectFirstBoxPort(ports))
        return;

    QMessageBox::warning(this, tr("Automatic Connection Failed"),
                         tr("Flat Box serial port not found. Please check the VELMORA flat box connection cable "
                            "and power supply"),
                         QMessageBox::Ok, QMessageBox::NoButton);
    applyDisconnectedState();
}

QList<SerialPortEntry> VelmoraFlat::listPortsForSearch()
{
    const QList<SerialPortEntry> ports = availableSerialPorts();
    for (const SerialPortEntry &port : ports) {
        ui->MT_serialCombo->addItem(port.name);
        qDebug() << "serial port: " << port.name;
        qDebug() << "vendor: " << uint(port.vendorId);
    }
    return ports;
}

// The controller tries the ports in turn on its own thread, with the same debug lines.
bool VelmoraFlat::connectFirstBoxPort(const QList<SerialPortEntry> &ports)
{
    statusLabel.setText(tr("FLAT BOX CONNECTING..."));
    const OwnSteps steps(*this);
    QString connectedPort;
    {
        const PausedControls paused(operationControls());
        connectedPort = waitFor<QString>([this, &ports](std::function<void(QString)> done) {
            controller->search(ports, done);
        });
    }
    if (connectedPort.isEmpty())
        return false;
    applyConnectedState(connectedPort);
    return true;
}

void VelmoraFlat::applyConnectedState(const QString &portName)
{
    ui->ST_autoSearch->setChecked(true);
    ui->MT_serialConnect->setEnabled(false);

    const int portIndex = ui->MT_serialCombo->findText(portName, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (portIndex >= 0)
        ui->MT_serialCombo->setCurrentIndex(portIndex);
    else
        QMessageBox::warning(this, tr("Internal Connection Error"), tr("Please contact VELMORA customer service"),
                             QMessageBox::Ok, QMessageBox::NoButton);

    ui->MT_serialCombo->setEnabled(false);
    ui->MT_serialDisconnect->setEnabled(true);
    ui->ST_connectButton->setEnabled(false);
    ui->MT_lampSwitch->setEnabled(true);
    statusLabel.setText(tr(" FLAT BOX CONNECTED "));
}

void VelmoraFlat::applyDisconnectedState()
{
    ui->ST_autoSearch->setChecked(false);
    ui->MT_serialConnect->setEnabled(true);
    ui->MT_serialCombo->setEnabled(true);
    ui->MT_serialDisconnect->setEnabled(false);
    ui->ST_connectButton->setEnabled(true);
    ui->MT_lampSwitch->setEnabled(false);
    statusLabel.setText(tr(" FLAT BOX DISCONNECTED "));
}

void VelmoraFlat::setLampControlsEnabled(const bool &enabled)
{
    const QList<QWidget *> lampControls = {
        ui->MT_lampLevelSlider, ui->ST_lampLevelSlider,  ui->FT_filterSetting,    ui->FT_cameraTypeSetting,
        ui->FT_isobinSetting,   ui->FT_applySettingButton, ui->ST_cameraSetting,  ui->ST_isobinSetting,
        ui->ST_filterSetting,   ui->ST_modifyButton,     ui->ST_applyButton,      ui->ST_saveButton,
        ui->ST_openButton,      ui->MT_lampLevelSpinBox, ui->ST_lampLevelSpinBox};
    for (QWidget *control : lampControls)
        control->setEnabled(enabled);
}

void VelmoraFlat::on_ST_connectButton_pressed()
{
    searchAndConnect();
}

QList<QWidget *> VelmoraFlat::operationControls() const
{
    return {ui->MT_serialConnect,    ui->MT_serialDisconnect, ui->MT_serialCombo,       ui->ST_connectButton,
            ui->MT_lampSwitch,       ui->MT_lampLevelSlider,  ui->ST_lampLevelSlider,   ui->MT_lampLevelSpinBox,
            ui->ST_lampLevelSpinBox, ui->FT_applySettingButton, ui->ST_applyButton,     ui->ST_openButton};
}

void VelmoraFlat::on_MT_serialConnect_pressed()
{
    // Any listed port may be tried, whatever its vendor.
    const QString portName = ui->MT_serialCombo->currentText();
    const OwnSteps steps(*this);
    unsigned status = 0;
    {
        const PausedControls paused(operationControls());
        status = waitFor<unsigned>([this, &portName](std::function<void(unsigned)> done) {
            controller->connectPort(portName, done);
        });
    }
    if (status != 0) {
        QMessageBox::critical(this, tr("Connection Error"),
                              tr("Flat Box connection problem or wrong communication port. Please retry"),
                              QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    ui->MT_lampSwitch->setEnabled(true);
    showConnectionButtons(true);
}

void VelmoraFlat::on_MT_serialDisconnect_pressed()
{
    const OwnSteps steps(*this);
    const auto quick = QEventLoop::ExcludeUserInputEvents;
    if (waitFor<unsigned>([this](std::function<void(unsigned)> done) { controller->turnLampOff(done); }, quick) == 0) {
        qDebug() << "switch lamp off";
        setLampControlsEnabled(false);
    } else {
        qDebug() << "switch lamp off error";
    }

    if (waitFor<unsigned>([this](std::function<void(unsigned)> done) { controller->disconnectBox(done); }, quick) != 0) {
        QMessageBox::critical(this, tr("Connection Error"), tr("Flat Box disconnection problem. Please retry"),
                              QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }

    // With signals working, so the brightness slots send every value that really changes.
    ui->MT_lampLevelSpinBox->setValue(0);
    ui->ST_lampLevelSpinBox->setValue(0);
    ui->ST_lampLevelSlider->setValue(0);
    ui->MT_lampLevelSlider->setValue(0);
    ui->MT_lampLevelSpinBox->setValue(0);
    ui->ST_lampLevelSpinBox->setValue(0);
    ui->MT_lampLevelSpinBox->setEnabled(false);
    ui->ST_lampLevelSpinBox->setEnabled(false);
    switchOffLampSwitchQuietly();
    showConnectionButtons(false);
}

// Unchecked and disabled without running the switch's slot.
void VelmoraFlat::switchOffLampSwitchQuietly()
{
    const QSignalBlocker blocker(ui->MT_lampSwitch);
    ui->MT_lampSwitch->setChecked(false);
    ui->MT_lampSwitch->setEnabled(false);
}

// The buttons and the status text of a manual connect or a disconnect.
void VelmoraFlat::showConnectionButtons(bool connected)
{
    ui->MT_serialDisconnect->setEnabled(connected);
    ui->MT_serialConnect->setEnabled(!connected);
    ui->MT_serialCombo->setEnabled(!connected);
    ui->ST_connectButton->setEnabled(!connected);
    statusLabel.setText(connected ? tr(" FLAT BOX CONNECTED ") : tr(" FLAT BOX DISCONNECTED "));
}

void VelmoraFlat::on_ST_autoSearch_stateChanged(int state)
{
    QSettings settings;
    qDebug() << "QSettings: " << settings.fileName();
    const QString value = state == Qt::Checked ? QStringLiteral("true") : QStringLiteral("false");
    settings.setValue(QStringLiteral("auto_search"), value);
    qDebug() << "QSetting value: " << value;
}
