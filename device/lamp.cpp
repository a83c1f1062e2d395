// The lamp switch and the four brightness controls.
#include "velmoraflat.h"

#include "ui_velmoraflat.h"
#include "velmora/flat.h"

void VelmoraFlat::on_MT_lampSwitch_stateChanged(int) {}
void VelmoraFlat::on_MT_lampLevelSlider_valueChanged(int) {}
void VelmoraFlat::on_ST_lampLevelSlider_valueChanged(int) {}
void VelmoraFlat::on_MT_lampLevelSpinBox_valueChanged(int) {}
void VelmoraFlat::on_ST_lampLevelSpinBox_valueChanged(int) {}
