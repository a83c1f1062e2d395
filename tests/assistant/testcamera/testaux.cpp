// indi_velmora_test_aux: devices that fail the flat assistant in the ways its tests need. VELMORA_TEST_AUX chooses:
//   lamp-only    device "Plain Lamp": a light box with FLAT_LIGHT_CONTROL but no FLAT_LIGHT_INTENSITY
//   stuck-wheel  device "Stuck Wheel": a filter wheel (Red, Green, Blue, Luminance) that turns Busy and never arrives
#include <defaultdevice.h>
#include <indipropertynumber.h>
#include <indipropertyswitch.h>
#include <indipropertytext.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string mode = std::getenv("VELMORA_TEST_AUX") ? std::getenv("VELMORA_TEST_AUX") : "lamp-only";

class AuxDevice : public INDI::DefaultDevice
{
public:
    AuxDevice() { setVersion(1, 0); }

protected:
    const char *getDefaultName() override { return mode == "stuck-wheel" ? "Stuck Wheel" : "Plain Lamp"; }

    bool initProperties() override
    {
        INDI::DefaultDevice::initProperties();
        lamp[0].fill("FLAT_LIGHT_ON", "On", ISS_OFF);
        lamp[1].fill("FLAT_LIGHT_OFF", "Off", ISS_ON);
        lamp.fill(getDeviceName(), "FLAT_LIGHT_CONTROL", "Light", MAIN_CONTROL_TAB, IP_RW, ISR_1OFMANY, 0, IPS_IDLE);
        slot[0].fill("FILTER_SLOT_VALUE", "Filter", "%3.0f", 1, 4, 1, 1);
        slot.fill(getDeviceName(), "FILTER_SLOT", "Filter Slot", MAIN_CONTROL_TAB, IP_RW, 0, IPS_IDLE);
        const char *filters[] = {"Red", "Green", "Blue", "Luminance"};
        for (int i = 0; i < 4; ++i)
            names[i].fill(("FILTER_SLOT_NAME_" + std::to_string(i + 1)).c_str(), filters[i], filters[i]);
        names.fill(getDeviceName(), "FILTER_NAME", "Filter", "Filter", IP_RW, 0, IPS_IDLE);
        return true;
    }

    bool updateProperties() override
    {
        INDI::DefaultDevice::updateProperties();
        if (!isConnected())
            return true;
        if (mode == "stuck-wheel") {
            defineProperty(&slot);
            defineProperty(&names);
        } else {
            defineProperty(&lamp);
        }
        return true;
    }

    bool Connect() override { return true; }
    bool Disconnect() override { return true; }

    bool ISNewSwitch(const char *dev, const char *name, ISState *states, char *names[], int n) override
    {
        if (dev && !std::strcmp(dev, getDeviceName()) && lamp.isNameMatch(name)) {
            lamp.update(states, names, n);
            lamp.setState(IPS_OK);
            lamp.apply();
            return true;
        }
        return INDI::DefaultDevice::ISNewSwitch(dev, name, states, names, n);
    }

    bool ISNewNumber(const char *dev, const char *name, double values[], char *names[], int n) override
    {
        if (dev && !std::strcmp(dev, getDeviceName()) && slot.isNameMatch(name)) {
            slot.setState(IPS_BUSY); // the wheel turns and never gets there
            slot.apply();
            return true;
        }
        return INDI::DefaultDevice::ISNewNumber(dev, name, values, names, n);
    }

private:
    INDI::PropertySwitch lamp{2};
    INDI::PropertyNumber slot{1};
    INDI::PropertyText names{4};
};

std::unique_ptr<AuxDevice> device(new AuxDevice());

} // namespace
