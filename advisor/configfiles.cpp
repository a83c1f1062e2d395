// Saving the flat table to a configuration file and opening one.
#include "velmoraflat.h"

#include "ui_velmoraflat.h"

void VelmoraFlat::on_ST_saveButton_pressed() {}
void VelmoraFlat::on_ST_openButton_pressed() {}
