#include "velmoraflatdriver.h"

#include "connections.h"
#include "panellink.h"
#include "seriallink.h"

#include <indilogger.h>

#include <QCoreApplication>

#include <cstring>

namespace {

const char deviceName[] = "VELMORA Flat Box";
const char tableGroup[] = "Flat table";
constexpr int defaultPanelPort = 11111;
// How often the table's file is looked at for changes.
constexpr int tableCheckMs = 1000;

enum BoxElement { ProductId, Firmware, Dialect };
enum TableElement { TableFile, TableCamera, TableIsoBin };

// The device library and the Alpaca client are Qt code; they need an application object, never run: the INDI
// loop is this program's event loop.
void ensureQtApplication()
{
    static int argc = 1;
    static char name[] = "indi_velmora_flat";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
}

std::unique_ptr<VelmoraFlatDriver> driver(new VelmoraFlatDriver());

} // namespace

VelmoraFlatDriver::VelmoraFlatDriver()
    : LightBoxInterface(this, true)
{
    setVersion(1, 0);
}

VelmoraFlatDriver::~VelmoraFlatDriver() = default;

const char *VelmoraFlatDriver::getDefaultName()
{
    return deviceName;
}

bool VelmoraFlatDriver::initProperties()
{
    ensureQtApplication();
    mailbox = std::make_unique<LoopMailbox>();
    DefaultDevice::initProperties();

    initLightBoxProperties(getDeviceName(), MAIN_CONTROL_TAB);
    LightIntensityN[0].step = 1;

    IUFillText(&BoxT[ProductId], "PRODUCT_ID", "Product id", "");
    IUFillText(&BoxT[Firmware], "FIRMWARE", "Firmware", "");
    IUFillText(&BoxT[Dialect], "DIALECT", "Dialect", "");
    IUFillTextVector(&BoxTP, BoxT, 3, getDeviceName(), "VELMORA_BOX", "Flat box", INFO_TAB, IP_RO, 60, IPS_IDLE);

    IUFillText(&TableT[TableFile], "FILE", "Table file (.vfc)", "");
    IUFillText(&TableT[TableCamera], "CAMERA", "Camera", "CCD");
    IUFillText(&TableT[TableIsoBin], "ISO_BIN", "ISO / binning", "1x1");
    IUFillTextVector(&TableTP, TableT, 3, getDeviceName(), "VELMORA_TABLE", "Flat table", tableGroup, IP_RW, 60,
                     IPS_IDLE);

    setDriverInterface(AUX_INTERFACE | LIGHTBOX_INTERFACE);
    addDebugControl();
    addConfigurationControl();

    auto *serial = new BoxSerialConnection(this);
    serial->setDefaultPort("/dev/ttyACM0");
    serial->registerHandshake([this] { return openLink(); });
    registerConnection(serial);
    serialConnection = serial;

    auto *panel = new PanelConnection(this);
    panel->setDefaultHost("127.0.0.1");
    panel->setDefaultPort(defaultPanelPort);
    panel->registerHandshake([this] { return openLink(); });
    registerConnection(panel);
    panelConnection = panel;

    SetTimer(tableCheckMs);
    return true;
}

void VelmoraFlatDriver::ISGetProperties(const char *dev)
{
    DefaultDevice::ISGetProperties(dev);
    isGetLightBoxProperties(getDeviceName());
    defineProperty(&TableTP);
    if (!tableConfigLoaded)
        loadConfig(true, TableTP.name);
    tableConfigLoaded = true;
}

bool VelmoraFlatDriver::updateProperties()
{
    DefaultDevice::updateProperties();
    if (isConnected()) {
        defineProperty(&LightSP);
        defineProperty(&LightIntensityNP);
        defineProperty(&BoxTP);
    } else {
        deleteProperty(LightSP.name);
        deleteProperty(LightIntensityNP.name);
        deleteProperty(BoxTP.name);
    }
    updateLightBoxProperties();
    return true;
}

bool VelmoraFlatDriver::openLink()
{
    link.reset();
    lost = false;
    if (getActiveConnection() == panelConnection)
        link = std::make_unique<PanelLink>(panelConnection->host(), int(panelConnection->port()), *mailbox, *this);
    else
        link = std::make_unique<SerialLink>(serialConnection->port(), *mailbox, *this);

    LampState state;
    BoxIdentity identity;
    std::string error;
    if (!link->open(state, identity, error)) {
        LOGF_ERROR("Connect failed: %s.", error.c_str());
        link.reset();
        return false;
    }
    LOGF_INFO("Flat box connected: product %s, firmware %s, %s; lamp %s at %u.", identity.product.c_str(),
              identity.firmware.c_str(), identity.dialect.c_str(), state.on ? "on" : "off", state.level);
    showIdentity(identity);
    showLamp(state, IPS_OK, IPS_OK);
    return true;
}

bool VelmoraFlatDriver::Disconnect()
{
    if (link)
        link->close();
    link.reset();
    lost = false;
    return DefaultDevice::Disconnect();
}

void VelmoraFlatDriver::showIdentity(const BoxIdentity &identity)
{
    IUSaveText(&BoxT[ProductId], identity.product.c_str());
    IUSaveText(&BoxT[Firmware], identity.firmware.c_str());
    IUSaveText(&BoxT[Dialect], identity.dialect.c_str());
    BoxTP.s = IPS_OK;
    IDSetText(&BoxTP, nullptr);
}

void VelmoraFlatDriver::showLamp(const LampState &state, IPState switchState, IPState levelState)
{
    IUResetSwitch(&LightSP);
    LightS[state.on ? FLAT_LIGHT_ON : FLAT_LIGHT_OFF].s = ISS_ON;
    LightSP.s = switchState;
    IDSetSwitch(&LightSP, nullptr);
    LightIntensityN[0].value = state.level;
    LightIntensityNP.s = levelState;
    IDSetNumber(&LightIntensityNP, nullptr);
}

bool VelmoraFlatDriver::ISNewSwitch(const char *dev, const char *name, ISState *states, char *names[], int n)
{
    if (dev && !strcmp(dev, getDeviceName()) && !strcmp(name, LightSP.name)) {
        ISwitchVectorProperty wanted = LightSP;
        ISwitch wantedSwitches[2] = {LightS[0], LightS[1]};
        wanted.sp = wantedSwitches;
        if (IUUpdateSwitch(&wanted, states, names, n) < 0)
            return false;
        switchLamp(wantedSwitches[FLAT_LIGHT_ON].s == ISS_ON);
        return true;
    }
    return DefaultDevice::ISNewSwitch(dev, name, states, names, n);
}

bool VelmoraFlatDriver::ISNewNumber(const char *dev, const char *name, double values[], char *names[], int n)
{
    if (dev && !strcmp(dev, getDeviceName())) {
        if (!strcmp(name, LightIntensityNP.name) && n >= 1) {
            if (!(values[0] >= 0 && values[0] <= LightIntensityN[0].max)) {
                LightIntensityNP.s = IPS_ALERT;
                IDSetNumber(&LightIntensityNP, "Brightness %g is outside 0 to 255.", values[0]);
                return true;
            }
            changeLevel(unsigned(values[0] + 0.5));
            return true;
        }
        if (!strcmp(name, FilterIntensityNP.name)) {
            processLightBoxNumber(dev, name, values, names, n);
            if (!isConfigLoading())
                saveConfig(true, FilterIntensityNP.name);
            return true;
        }
    }
    return DefaultDevice::ISNewNumber(dev, name, values, names, n);
}

bool VelmoraFlatDriver::ISNewText(const char *dev, const char *name, char *texts[], char *names[], int n)
{
    if (dev && !strcmp(dev, getDeviceName())) {
        if (!strcmp(name, TableTP.name)) {
            setTable(texts, names, n);
            return true;
        }
        if (!strcmp(name, ActiveDeviceTP.name)) {
            const std::string before = ActiveDeviceT[0].text ? ActiveDeviceT[0].text : "";
            processLightBoxText(dev, name, texts, names, n);
            // Every client's arrival reads the saved wheel again: only a new wheel forgets the slot.
            if (before != (ActiveDeviceT[0].text ? ActiveDeviceT[0].text : "")) {
                currentSlot = -1;
                saveConfig(true, ActiveDeviceTP.name);
            }
            return true;
        }
    }
    return DefaultDevice::ISNewText(dev, name, texts, names, n);
}

bool VelmoraFlatDriver::saveConfigItems(FILE *fp)
{
    DefaultDevice::saveConfigItems(fp);
    saveLightBoxConfigItems(fp);
    IUSaveConfigText(fp, &TableTP);
    return true;
}

bool VelmoraFlatDriver::EnableLightBox(bool enable)
{
    switchLamp(enable);
    return true;
}

// The light box interface asks for a filter's preset when a wheel reports its names; the driver sets the level
// itself when it knows the wheel's slot.
bool VelmoraFlatDriver::SetLightBoxBrightness(uint16_t value)
{
    if (!interfaceLevelIgnored)
        changeLevel(value);
    return true;
}

void VelmoraFlatDriver::switchLamp(bool on)
{
    const unsigned level = unsigned(LightIntensityN[0].value);
    if (!link || lost) {
        LightSP.s = IPS_ALERT;
        IDSetSwitch(&LightSP, lost ? "The flat box is lost; waiting for it to come back." : "Not connected.");
        return;
    }
    auto answered = std::make_shared<bool>(false);
    link->setLamp(on, level, [this, answered](bool ok, const std::string &error, const LampState &state) {
        *answered = true;
        IUResetSwitch(&LightSP);
        LightS[state.on ? FLAT_LIGHT_ON : FLAT_LIGHT_OFF].s = ISS_ON;
        LightSP.s = ok ? IPS_OK : IPS_ALERT;
        if (ok)
            IDSetSwitch(&LightSP, nullptr);
        else
            IDSetSwitch(&LightSP, "Lamp: %s", error.c_str());
        if (ok && unsigned(LightIntensityN[0].value) != state.level) {
            LightIntensityN[0].value = state.level;
            LightIntensityNP.s = IPS_OK;
            IDSetNumber(&LightIntensityNP, nullptr);
        }
    });
    if (*answered)
        return;
    IUResetSwitch(&LightSP);
    LightS[on ? FLAT_LIGHT_ON : FLAT_LIGHT_OFF].s = ISS_ON;
    LightSP.s = IPS_BUSY;
    IDSetSwitch(&LightSP, nullptr);
}

void VelmoraFlatDriver::changeLevel(unsigned level)
{
    if (!link || lost) {
        LightIntensityNP.s = IPS_ALERT;
        IDSetNumber(&LightIntensityNP, lost ? "The flat box is lost; waiting for it to come back." : "Not connected.");
        return;
    }
    auto answered = std::make_shared<bool>(false);
    link->setLevel(level, [this, answered](bool ok, const std::string &error, const LampState &state) {
        *answered = true;
        LightIntensityN[0].value = state.level;
        LightIntensityNP.s = ok ? IPS_OK : IPS_ALERT;
        if (ok)
            IDSetNumber(&LightIntensityNP, nullptr);
        else
            IDSetNumber(&LightIntensityNP, "Brightness: %s", error.c_str());
    });
    // A change that takes longer than this call (the panel's, or one queued behind the lamp's switch-on) shows Busy
    // meanwhile; one exchange on the serial port ends here, and an Ok alone reaches the clients sooner.
    if (*answered)
        return;
    LightIntensityN[0].value = level;
    LightIntensityNP.s = IPS_BUSY;
    IDSetNumber(&LightIntensityNP, nullptr);
}

void VelmoraFlatDriver::boxLost(const std::string &message)
{
    lost = true;
    LOG_WARN(message.c_str());
    setConnected(true, IPS_ALERT);
}

// What is behind the port now is read again: another box may have been plugged in meanwhile.
void VelmoraFlatDriver::boxBack(const LampState &state, const BoxIdentity &identity, const std::string &message)
{
    lost = false;
    LOG_INFO(message.c_str());
    setConnected(true, IPS_OK);
    showIdentity(identity);
    showLamp(state, IPS_OK, IPS_OK);
}

void VelmoraFlatDriver::lampChangedElsewhere(const LampState &state)
{
    showLamp(state, IPS_OK, IPS_OK);
}

void VelmoraFlatDriver::setTable(char *texts[], char *names[], int n)
{
    IUUpdateText(&TableTP, texts, names, n);
    QString error;
    const bool readable = table.setFile(QString::fromUtf8(TableT[TableFile].text), error);
    TableTP.s = readable ? IPS_OK : IPS_ALERT;
    if (readable)
        IDSetText(&TableTP, nullptr);
    else
        IDSetText(&TableTP, "Cannot read the flat table %s: %s", TableT[TableFile].text, error.toUtf8().constData());
    if (!isConfigLoading())
        saveConfig(true, TableTP.name);
    applyTable(true);
}

// Every filter of the wheel with a line in the table gets that line's level as its preset; the others keep theirs.
void VelmoraFlatDriver::applyTable(bool moveLamp)
{
    if (!table.isSet() || FilterIntensityN == nullptr)
        return;
    const QString camera = QString::fromUtf8(TableT[TableCamera].text);
    const QString isoBin = QString::fromUtf8(TableT[TableIsoBin].text);
    QStringList wheelNames;
    for (int i = 0; i < FilterIntensityNP.nnp; ++i)
        wheelNames.append(QString::fromUtf8(FilterIntensityN[i].label));
    bool changed = false;
    for (int i = 0; i < FilterIntensityNP.nnp; ++i) {
        const FlatRecordMatch line = findFlatRecord(table.lines(), camera, isoBin, wheelNames.at(i), wheelNames);
        const int level = line.found ? line.record.lightLevel() : -1;
        if (level >= 0 && FilterIntensityN[i].value != level) {
            FilterIntensityN[i].value = level;
            changed = true;
        }
    }
    if (changed) {
        FilterIntensityNP.s = IPS_OK;
        IDSetNumber(&FilterIntensityNP, nullptr);
    }
    if (!moveLamp || !changed || !isConnected() || currentSlot < 0 || currentSlot >= FilterIntensityNP.nnp)
        return;
    const double level = FilterIntensityN[currentSlot].value;
    if (level > 0 && level != LightIntensityN[0].value)
        changeLevel(unsigned(level));
}

void VelmoraFlatDriver::TimerHit()
{
    if (table.refresh())
        applyTable(true);
    SetTimer(tableCheckMs);
}

bool VelmoraFlatDriver::fromActiveFilterWheel(XMLEle *root) const
{
    const char *device = findXMLAttValu(root, "device");
    return device && ActiveDeviceT[0].text && !strcmp(device, ActiveDeviceT[0].text);
}

bool VelmoraFlatDriver::ISSnoopDevice(XMLEle *root)
{
    if (fromActiveFilterWheel(root) && strcmp(tagXMLEle(root), "delProperty") != 0) {
        const char *property = findXMLAttValu(root, "name");
        if (!strcmp(property, "FILTER_NAME")) {
            // The interface makes the presets; the level follows once the wheel's slot is known.
            interfaceLevelIgnored = true;
            snoopLightBox(root);
            interfaceLevelIgnored = false;
            table.refresh();
            applyTable(true);
        } else if (!strcmp(property, "FILTER_SLOT")) {
            filterSlotChanged(root);
        }
    }
    return DefaultDevice::ISSnoopDevice(root);
}

// A new filter takes its preset (from the table, read again if its file changed).
void VelmoraFlatDriver::filterSlotChanged(XMLEle *root)
{
    const char *state = findXMLAttValu(root, "state");
    if (strcmp(state, "Ok") != 0 && strcmp(state, "Idle") != 0)
        return;
    const int previousSlot = currentSlot;
    for (XMLEle *element = nextXMLEle(root, 1); element; element = nextXMLEle(root, 0))
        if (!strcmp(findXMLAttValu(element, "name"), "FILTER_SLOT_VALUE"))
            currentSlot = atoi(pcdataXMLEle(element)) - 1;
    if (table.refresh())
        applyTable(currentSlot == previousSlot); // a new filter's level is set below
    // The wheel repeats its slot to every new snooper (each client's arrival): only a new filter moves the lamp.
    if (currentSlot == previousSlot || !isConnected() || FilterIntensityN == nullptr || currentSlot < 0
        || currentSlot >= FilterIntensityNP.nnp)
        return;
    const double level = FilterIntensityN[currentSlot].value;
    if (level > 0)
        changeLevel(unsigned(level));
}
