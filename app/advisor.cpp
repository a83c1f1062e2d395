// The filters and settings tabs of the exposure advisor.
#include "velmoraflat.h"

#include "flatrecord.h"
#include "flattable.h"
#include "ui_velmoraflat.h"

#include <QComboBox>
#include <QStringList>

namespace {

const QLatin1Char space(' ');
const QString dslr = QStringLiteral("DSLR");

QString configurationKey(const QString &camera, const QString &isoBin, const QString &filter)
{
    return camera + space + isoBin + space + filter;
}

QString configurationKey(const QComboBox *camera, const QComboBox *isoBin, const QComboBox *filter)
{
    return configurationKey(camera->currentText(), isoBin->currentText(), filter->currentText());
}

// One addItem per entry: the first one changes the current text, so the box's own slot sees it at once.
void appendItems(QComboBox *comboBox, const QStringList &items)
{
    for (const QString &item : items)
        comboBox->addItem(item);
}

void refill(QComboBox *comboBox, const QStringList &items)
{
    comboBox->clear();
    appendItems(comboBox, items);
}

} // namespace

void VelmoraFlat::findConfiguration(const QString &key, bool &found, int &index, QString &exposure,
                                    QString &lightLevel) const
{
    const FlatTableMatch match = lookUpConfiguration(flatTable, key);
    if (!match.found)
        return;
    found = true;
    index = match.index;
    exposure = match.exposure;
    lightLevel = match.lightLevel;
}

void VelmoraFlat::fillIsoList(const bool &settingsTab, const bool &filtersTab)
{
    const QStringList isoList = {QStringLiteral("100"),  QStringLiteral("200"),  QStringLiteral("400"),
                                 QStringLiteral("800"),  QStringLiteral("1600"), QStringLiteral("3200"),
                                 QStringLiteral("6400"), tr("Custom")};
    if (settingsTab)
        refill(ui->ST_isobinSetting, isoList);
    if (filtersTab)
        refill(ui->FT_isobinSetting, isoList);
}

void VelmoraFlat::fillBinningList(const bool &settingsTab, const bool &filtersTab)
{
    // Six sizes: the cameras offer no 5x5 and no 7x7 binning.
    const QStringList binningList = {QStringLiteral("1x1"), QStringLiteral("2x2"), QStringLiteral("3x3"),
                                     QStringLiteral("4x4"), QStringLiteral("6x6"), QStringLiteral("8x8"),
                                     tr("Custom")};
    if (settingsTab)
        refill(ui->ST_isobinSetting, binningList);
    if (filtersTab)
        refill(ui->FT_isobinSetting, binningList);
}

void VelmoraFlat::fillCameraList(const bool &settingsTab, const bool &filtersTab)
{
    const QStringList cameraList = {dslr, QStringLiteral("CCD")};
    if (settingsTab)
        appendItems(ui->ST_cameraSetting, cameraList);
    if (filtersTab)
        appendItems(ui->FT_cameraTypeSetting, cameraList);
}

void VelmoraFlat::fillFilterList(const bool &settingsTab, const bool &filtersTab)
{
    QStringList filterList;
    for (const QString &name : panelFilterNames())
        filterList.append(tr(name.toUtf8().constData()));
    if (settingsTab)
        appendItems(ui->ST_filterSetting, filterList);
    if (filtersTab)
        appendItems(ui->FT_filterSetting, filterList);
}

void VelmoraFlat::updateFiltersTab()
{
    bool found = false;
    int index = 0;
    QString exposure;
    QString lightLevel;
    findConfiguration(configurationKey(ui->FT_cameraTypeSetting, ui->FT_isobinSetting, ui->FT_filterSetting),
                      found, index, exposure, lightLevel);
    const QString none = QStringLiteral("0");
    ui->FT_exposureSetting->setText(found ? exposure : none);
    ui->FT_lightSetting->setText(found ? lightLevel : none);
}

void VelmoraFlat::updateSettingsTab(const bool &setLampLevel)
{
    bool found = false;
    int index = 0;
    QString exposure;
    QString lightLevel;
    findConfiguration(configurationKey(ui->ST_cameraSetting, ui->ST_isobinSetting, ui->ST_filterSetting),
                      found, index, exposure, lightLevel);
    if (!found) {
        ui->ST_exposureValue->setText(QStringLiteral("0"));
        return;
    }
    ui->ST_exposureValue->setText(exposure);
    // The lamp slots send the level to the box and move the other brightness controls.
    if (setLampLevel)
        ui->ST_lampLevelSlider->setValue(lightLevel.toInt());
}

void VelmoraFlat::on_FT_filterSetting_currentTextChanged(const QString &)
{
    updateFiltersTab();
}

void VelmoraFlat::on_FT_cameraTypeSetting_currentTextChanged(const QString &arg1)
{
    currentCamera = arg1;
    if (arg1 == dslr)
        fillIsoList(false, true);
    else
        fillBinningList(false, true);
    updateFiltersTab();
}

void VelmoraFlat::on_FT_isobinSetting_currentTextChanged(const QString &)
{
    updateFiltersTab();
}

void VelmoraFlat::on_FT_applySettingButton_pressed()
{
    const int lightLevel = ui->FT_lightSetting->text().toInt(); // 0 when it is not a number
    ui->MT_lampLevelSpinBox->setValue(lightLevel);
    ui->ST_lampLevelSpinBox->setValue(lightLevel);
    ui->ST_lampLevelSlider->setValue(lightLevel);

    // A changed camera type refills the settings tab's ISO/bin list before its text is selected.
    ui->ST_cameraSetting->setCurrentText(ui->FT_cameraTypeSetting->currentText());
    ui->ST_isobinSetting->setCurrentText(ui->FT_isobinSetting->currentText());
    ui->ST_filterSetting->setCurrentText(ui->FT_filterSetting->currentText());
    updateSettingsTab(true);
}

void VelmoraFlat::on_ST_cameraSetting_currentTextChanged(const QString &arg1)
{
    currentCamera = arg1;
    if (arg1 == dslr)
        fillIsoList(true, false);
    else
        fillBinningList(true, false);
    updateSettingsTab(true);
}

void VelmoraFlat::on_ST_isobinSetting_currentTextChanged(const QString &)
{
    updateSettingsTab(true);
}

void VelmoraFlat::on_ST_filterSetting_currentTextChanged(const QString &)
{
    updateSettingsTab(true);
}

void VelmoraFlat::on_ST_modifyButton_pressed()
{
    ui->ST_exposureValue->setEnabled(true);
}

void VelmoraFlat::on_ST_applyButton_pressed()
{
    const QString exposure = ui->ST_exposureValue->text();
    const QString lightLevel = ui->MT_lampLevelSpinBox->text();
    const QString key = configurationKey(currentCamera, ui->ST_isobinSetting->currentText(),
                                         ui->ST_filterSetting->currentText());

    bool found = false;
    int index = 0;
    QString storedExposure;
    QString storedLightLevel;
    findConfiguration(key, found, index, storedExposure, storedLightLevel);
    // A replaced configuration moves to the end of the table.
    if (found)
        flatTable.erase(flatTable.begin() + index);
    flatTable.push_back(key + space + exposure + space + lightLevel);

    ui->ST_exposureValue->setEnabled(false);
    updateFiltersTab();
}
