// indi_velmora_flat: the VELMORA flat box as an INDI light box, on its serial port through the device library or
// through the running panel's Alpaca server, with per-filter levels from the panel's flat table.
#pragma once

#include "boxlink.h"
#include "filterlevels.h"
#include "loopmailbox.h"

#include <defaultdevice.h>
#include <indilightboxinterface.h>

#include <memory>
#include <string>
#include <vector>

namespace Connection {
class Serial;
class TCP;
}

class VelmoraFlatDriver : public INDI::DefaultDevice, public INDI::LightBoxInterface, public BoxLinkEvents
{
public:
    VelmoraFlatDriver();
    ~VelmoraFlatDriver() override;

    const char *getDefaultName() override;
    bool initProperties() override;
    void ISGetProperties(const char *dev) override;
    bool updateProperties() override;
    bool ISNewSwitch(const char *dev, const char *name, ISState *states, char *names[], int n) override;
    bool ISNewNumber(const char *dev, const char *name, double values[], char *names[], int n) override;
    bool ISNewText(const char *dev, const char *name, char *texts[], char *names[], int n) override;
    bool ISSnoopDevice(XMLEle *root) override;
    void TimerHit() override;

    void boxLost(const std::string &message) override;
    void boxBack(const LampState &state, const BoxIdentity &identity, const std::string &message) override;
    void lampChangedElsewhere(const LampState &state) override;

protected:
    bool Disconnect() override;
    bool saveConfigItems(FILE *fp) override;
    bool EnableLightBox(bool enable) override;
    bool SetLightBoxBrightness(uint16_t value) override;

private:
    bool openLink();
    void switchLamp(bool on);
    void changeLevel(unsigned level);
    void showLamp(const LampState &state, IPState switchState, IPState levelState);
    void showIdentity(const BoxIdentity &identity);
    void setTable(char *texts[], char *names[], int n);
    void applyTable(bool moveLamp);
    void filterSlotChanged(XMLEle *root);
    bool fromActiveFilterWheel(XMLEle *root) const;

    std::unique_ptr<LoopMailbox> mailbox; // made on the INDI loop's thread, once the loop runs
    std::unique_ptr<BoxLink> link;
    Connection::Serial *serialConnection = nullptr;
    Connection::TCP *panelConnection = nullptr;
    bool lost = false;

    ITextVectorProperty BoxTP;
    IText BoxT[3] {};
    ITextVectorProperty TableTP;
    IText TableT[3] {};

    WatchedTable table;
    int currentSlot = -1; // 0-based slot of the active filter wheel, -1 until it reports one
    bool interfaceLevelIgnored = false;
    bool tableConfigLoaded = false; // ISGetProperties comes with every client
};
