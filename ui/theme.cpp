#include "velmoraflat.h"

#include "themesheets.h"
#include "ui_velmoraflat.h"

#include <QWidget>

namespace {

struct ThemedWidget
{
    QWidget *widget;
    StyleRole role;
};

} // namespace

// Every sheet is replaced whole from the generated texts, so the look never depends on what was shown before.
void VelmoraFlat::applyTheme(bool night)
{
    const ThemedWidget themed[] = {
        {ui->mainWindow, StyleRole::Base},
        {ui->tabWidget, StyleRole::TabPane},
        {ui->MT_serialConnect, StyleRole::PushButton},
        {ui->MT_serialDisconnect, StyleRole::PushButton},
        {ui->MT_nightVisionButton, StyleRole::PushButton},
        {ui->MT_serialCombo, StyleRole::ComboBox},
        {ui->MT_lampLevelSpinBox, StyleRole::SpinBox},
        {ui->FT_filterSetting, StyleRole::ComboBox},
        {ui->FT_cameraTypeSetting, StyleRole::ComboBox},
        {ui->FT_isobinSetting, StyleRole::ComboBox},
        {ui->FT_applySettingButton, StyleRole::PushButton},
        {ui->ST_cameraSetting, StyleRole::ComboBox},
        {ui->ST_isobinSetting, StyleRole::ComboBox},
        {ui->ST_filterSetting, StyleRole::ComboBox},
        {ui->ST_modifyButton, StyleRole::PushButton},
        {ui->ST_applyButton, StyleRole::PushButton},
        {ui->ST_connectButton, StyleRole::PushButton},
        {ui->ST_openButton, StyleRole::PushButton},
        {ui->ST_saveButton, StyleRole::PushButton},
        {ui->ST_lampLevelSpinBox, StyleRole::SpinBox},
        {ui->qtLogo, StyleRole::QtLogo},
        {ui->MT_lampSwitch, StyleRole::LampSwitch},
        {ui->MT_lampLevelSlider, StyleRole::Slider},
        {ui->ST_lampLevelSlider, StyleRole::Slider},
        {ui->statusBar, StyleRole::StatusBar},
        {ui->ST_exposureValue, StyleRole::LineEdit},
        {ui->FT_exposureSetting, StyleRole::LineEdit},
        {ui->FT_lightSetting, StyleRole::LineEdit},
        {ui->infoOS, StyleRole::LineEdit},
        {ui->infoVersion, StyleRole::LineEdit},
        {ui->infoLibVersion, StyleRole::LineEdit},
    };
    for (const ThemedWidget &entry : themed)
        entry.widget->setStyleSheet(themeSheet(entry.role, night));
}

void VelmoraFlat::on_MT_nightVisionButton_pressed()
{
    nightVision = !nightVision;
    applyTheme(nightVision);
    ui->MT_nightVisionButton->setText(nightVision ? tr("Disable") : tr("Enable"));
}
