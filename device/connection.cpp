// Port search, connection and disconnection of the flat box.
#include "velmoraflat.h"

#include "ui_velmoraflat.h"
#include "velmora/flat.h"

void VelmoraFlat::searchAndConnect(const QString &) {}
void VelmoraFlat::searchAndConnect() {}
void VelmoraFlat::runPortSearch(bool, const QString &) {}
void VelmoraFlat::applyConnectedState(const QString &) {}
void VelmoraFlat::applyDisconnectedState() {}
void VelmoraFlat::setLampControlsEnabled(const bool &) {}
void VelmoraFlat::on_ST_connectButton_pressed() {}
void VelmoraFlat::on_MT_serialConnect_pressed() {}
void VelmoraFlat::on_MT_serialDisconnect_pressed() {}
void VelmoraFlat::on_ST_autoSearch_stateChanged(int) {}
