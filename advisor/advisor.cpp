// The filters and settings tabs of the exposure advisor.
#include "velmoraflat.h"

#include "flattable.h"
#include "ui_velmoraflat.h"

void VelmoraFlat::findConfiguration(const QString &, bool &, int &, QString &, QString &) const {}
void VelmoraFlat::fillIsoList(const bool &, const bool &) {}
void VelmoraFlat::fillBinningList(const bool &, const bool &) {}
void VelmoraFlat::fillCameraList(const bool &, const bool &) {}
void VelmoraFlat::fillFilterList(const bool &, const bool &) {}
void VelmoraFlat::updateFiltersTab() {}
void VelmoraFlat::updateSettingsTab(const bool &) {}
void VelmoraFlat::on_FT_filterSetting_currentTextChanged(const QString &) {}
void VelmoraFlat::on_FT_cameraTypeSetting_currentTextChanged(const QString &) {}
void VelmoraFlat::on_FT_isobinSetting_currentTextChanged(const QString &) {}
void VelmoraFlat::on_FT_applySettingButton_pressed() {}
void VelmoraFlat::on_ST_cameraSetting_currentTextChanged(const QString &) {}
void VelmoraFlat::on_ST_isobinSetting_currentTextChanged(const QString &) {}
void VelmoraFlat::on_ST_filterSetting_currentTextChanged(const QString &) {}
void VelmoraFlat::on_ST_modifyButton_pressed() {}
void VelmoraFlat::on_ST_applyButton_pressed() {}
