#include "velmoraflat.h"

#include "themesheets.h"
#include "ui_velmoraflat.h"

#include <QWidget>

namespace {

struct ThemedWidget
{
    QWidget *widget;
    const ThemeSheet &sheet;
};

} // namespace

// Every sheet is replaced whole from the constant texts, so the look never depends on what was shown before.
void VelmoraFlat::applyTheme(bool night)
{
    const ThemedWidget themed[] = {
        {ui->mainWindow, baseSheet},
        {ui->tabWidget, tabPaneSheet},
        {ui->MT_serialConnect, pushButtonSheet},
        {ui->MT_serialDisconnect, pushButtonSheet},
        {ui->MT_nightVisionButton, pushButtonSheet},
        {ui->MT_serialCombo, comboBoxSheet},
        {ui->MT_lampLevelSpinBox, spinBoxSheet},
        {ui->FT_filterSetting, comboBoxSheet},
        {ui->FT_cameraTypeSetting, comboBoxSheet},
        {ui->FT_isobinSetting, comboBoxSheet},
        {ui->FT_applySettingButton, pushButtonSheet},
        {ui->ST_cameraSetting, comboBoxSheet},
        {ui->ST_isobinSetting, comboBoxSheet},
        {ui->ST_filterSetting, comboBoxSheet},
        {ui->ST_modifyButton, pushButtonSheet},
        {ui->ST_applyButton, pushButtonSheet},
        {ui->ST_connectButton, pushButtonSheet},
        {ui->ST_openButton, pushButtonSheet},
        {ui->ST_saveButton, pushButtonSheet},
        {ui->ST_lampLevelSpinBox, spinBoxSheet},
        {ui->qtLogo, qtLogoSheet},
        {ui->MT_lampSwitch, lampSwitchSheet},
        {ui->MT_lampLevelSlider, sliderSheet},
        {ui->ST_lampLevelSlider, sliderSheet},
        {ui->statusBar, statusBarSheet},
        {ui->ST_exposureValue, lineEditSheet},
        {ui->FT_exposureSetting, lineEditSheet},
        {ui->FT_lightSetting, lineEditSheet},
        {ui->infoOS, lineEditSheet},
        {ui->infoVersion, lineEditSheet},
        {ui->infoLibVersion, lineEditSheet},
    };
    for (const ThemedWidget &entry : themed)
        entry.widget->setStyleSheet(QString::fromLatin1(night ? entry.sheet.night : entry.sheet.day));
}

void VelmoraFlat::on_MT_nightVisionButton_pressed()
{
    nightVision = !nightVision;
    applyTheme(nightVision);
    ui->MT_nightVisionButton->setText(nightVision ? tr("Disable") : tr("Enable"));
}
