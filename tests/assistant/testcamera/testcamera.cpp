// indi_velmora_test_ccd: the INDI camera of the flat assistant's tests and benchmark. Device "Model Camera"; it reads
// the level and lamp state the light box shows and the slot of the filter wheel, both by snooping, and makes each
// frame from the flat model, sent as a FITS BLOB.
//
// Set through the environment (indiserver hands its environment to its drivers):
//   VELMORA_TEST_CCD_BOX       the model's light box, one of flatmodel::boxNames() (default "measured-led")
//   VELMORA_TEST_CCD_RATE      the box's figure per second at level 255 through a clear filter (default the box's)
//   VELMORA_TEST_CCD_TIME_SCALE the model's exposure is this many times the real one, so that tests take a night's
//                              exposures in a fraction of their time (default 1)
//   VELMORA_TEST_CCD_BAYER     "" (mono) or "RGGB", "BGGR", ...: a colour camera, with CCD_CFA
//   VELMORA_TEST_CCD_SIZE      "WIDTHxHEIGHT" (default 320x240)
//   VELMORA_TEST_CCD_LIGHT     the light box's device (default "VELMORA Flat Box")
//   VELMORA_TEST_CCD_WHEEL     the filter wheel's device (default "Filter Simulator")
//   VELMORA_TEST_CCD_FAULT     none, timeout (the frame never comes), error (the exposure fails), not-fits, truncated,
//                              exit (the driver ends as the exposure starts), late-frame-type (CCD_FRAME_TYPE
//                              comes 1 s after each connection), light-after-frame (the frame type goes back to
//                              LIGHT after each frame, as when another program sets it between frames)
//   VELMORA_TEST_CCD_FAULT_AT  the frame (counted from 1) the fault hits (default 1); negative: the first frame taken
//                              with the wheel at that slot (-8: the first frame through slot 8)
// The text property MODEL (BOX, RATE, TIME_SCALE, FAULT, FAULT_AT) changes the same while the driver runs, and counts
// the frames from 1 again. The text property EXPOSURES.FRAME_TYPES lists the frame type of each exposure since then
// ("FLAT,FLAT,LIGHT").
#include "flatmodel.h"

#include <indiccd.h>
#include <indidevapi.h>
#include <lilxml.h>

#include <indipropertyswitch.h>
#include <indipropertytext.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string environment(const char *name, const std::string &fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

class ModelCamera : public INDI::CCD
{
public:
    ModelCamera()
    {
        setVersion(1, 0);
        settings = {environment("VELMORA_TEST_CCD_BOX", "measured-led"), environment("VELMORA_TEST_CCD_RATE", ""),
                    environment("VELMORA_TEST_CCD_TIME_SCALE", "1"), environment("VELMORA_TEST_CCD_FAULT", "none"),
                    environment("VELMORA_TEST_CCD_FAULT_AT", "1")};
        configure();
        camera.bayer = environment("VELMORA_TEST_CCD_BAYER", "");
        const std::string size = environment("VELMORA_TEST_CCD_SIZE", "320x240");
        camera.width = std::atol(size.c_str());
        camera.height = std::atol(size.c_str() + size.find('x') + 1);
        light = environment("VELMORA_TEST_CCD_LIGHT", "VELMORA Flat Box");
        wheel = environment("VELMORA_TEST_CCD_WHEEL", "Filter Simulator");
    }

protected:
    const char *getDefaultName() override { return "Model Camera"; }

    bool initProperties() override
    {
        INDI::CCD::initProperties();
        uint32_t capabilities = CCD_CAN_ABORT | CCD_CAN_BIN;
        if (!camera.bayer.empty())
            capabilities |= CCD_HAS_BAYER;
        SetCCDCapability(capabilities);
        addCaptureFormat({camera.bayer.empty() ? "INDI_MONO" : "INDI_RAW", camera.bayer.empty() ? "Mono" : "Raw", 16, true});
        if (!camera.bayer.empty())
            IUSaveText(&BayerT[2], camera.bayer.c_str());
        IDSnoopDevice(light.c_str(), "FLAT_LIGHT_CONTROL");
        IDSnoopDevice(light.c_str(), "FLAT_LIGHT_INTENSITY");
        IDSnoopDevice(wheel.c_str(), "FILTER_SLOT");
        IDSnoopDevice(wheel.c_str(), "FILTER_NAME");
        setDefaultPollingPeriod(100);
        const char *names[] = {"BOX", "RATE", "TIME_SCALE", "FAULT", "FAULT_AT"};
        for (size_t i = 0; i < settings.size(); ++i)
            model[i].fill(names[i], names[i], settings[i].c_str());
        model.fill(getDeviceName(), "MODEL", "Model", "Model", IP_RW, 0, IPS_IDLE);
        exposures[0].fill("FRAME_TYPES", "Frame types", "");
        exposures.fill(getDeviceName(), "EXPOSURES", "Exposures", "Model", IP_RO, 0, IPS_IDLE);
        return true;
    }

    void ISGetProperties(const char *dev) override
    {
        INDI::CCD::ISGetProperties(dev);
        defineProperty(&model);
        defineProperty(&exposures);
    }

    bool ISNewText(const char *dev, const char *name, char *texts[], char *names[], int n) override
    {
        if (dev && !std::strcmp(dev, getDeviceName()) && model.isNameMatch(name)) {
            model.update(texts, names, n);
            for (size_t i = 0; i < settings.size(); ++i)
                settings[i] = model[i].getText();
            configure();
            model.setState(IPS_OK);
            model.apply();
            return true;
        }
        return INDI::CCD::ISNewText(dev, name, texts, names, n);
    }

    bool updateProperties() override
    {
        INDI::CCD::updateProperties();
        if (isConnected()) {
            SetCCDParams(int(camera.width), int(camera.height), 16, 3.8f, 3.8f);
            // Tests take a night's exposures many times shorter: far below a real camera's shortest.
            PrimaryCCD.setMinMaxStep("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", 0.0001, 3600, 0.0001, false);
            if (fault == "late-frame-type")
                defineFrameTypeLater();
        }
        return true;
    }

    bool Connect() override { return true; }
    bool Disconnect() override { return true; }

    bool StartExposure(float duration) override
    {
        ++frames;
        if (faultAt < 0 && slot == -faultAt && firstFrameAtFaultSlot == 0)
            firstFrameAtFaultSlot = frames;
        recordFrameType();
        if (faultNow("exit"))
            std::_Exit(3); // as a driver that crashes: indiserver tells its clients the device is gone
        exposure = duration;
        PrimaryCCD.setExposureDuration(duration);
        if (faultNow("error")) {
            PrimaryCCD.setExposureFailed();
            return false;
        }
        InExposure = true;
        if (!faultNow("timeout"))
            timer = IEAddTimer(std::max(1, int(duration * 1000)), &ModelCamera::exposureEnded, this);
        return true;
    }

    bool AbortExposure() override
    {
        if (timer > 0)
            IERmTimer(timer);
        timer = 0;
        InExposure = false;
        return true;
    }

    bool ISSnoopDevice(XMLEle *root) override
    {
        const char *device = findXMLAttValu(root, "device");
        const char *property = findXMLAttValu(root, "name");
        if (std::strcmp(tagXMLEle(root), "delProperty") != 0) {
            if (light == device && !std::strcmp(property, "FLAT_LIGHT_CONTROL"))
                lampOn = elementValue(root, "FLAT_LIGHT_ON") == "On";
            else if (light == device && !std::strcmp(property, "FLAT_LIGHT_INTENSITY"))
                level = std::atoi(elementValue(root, "FLAT_LIGHT_INTENSITY_VALUE").c_str());
            else if (wheel == device && !std::strcmp(property, "FILTER_SLOT"))
                slot = std::atoi(elementValue(root, "FILTER_SLOT_VALUE").c_str());
            else if (wheel == device && !std::strcmp(property, "FILTER_NAME"))
                readFilterNames(root);
        }
        return INDI::CCD::ISSnoopDevice(root);
    }

private:
    void recordFrameType()
    {
        static const char *names[] = {"LIGHT", "BIAS", "DARK", "FLAT"};
        const int type = int(PrimaryCCD.getFrameType());
        frameTypes += (frameTypes.empty() ? "" : ",") + std::string(type >= 0 && type < 4 ? names[type] : "?");
        exposures[0].setText(frameTypes);
        exposures.setState(IPS_OK);
        exposures.apply();
    }

    // Some drivers define the frame type only a while after connecting.
    void defineFrameTypeLater()
    {
        frameType = getProperty("CCD_FRAME_TYPE");
        deleteProperty("CCD_FRAME_TYPE");
        IEAddTimer(1000, &ModelCamera::defineFrameType, this);
    }

    static void defineFrameType(void *self)
    {
        auto *camera = static_cast<ModelCamera *>(self);
        if (camera->isConnected() && camera->frameType.isValid())
            camera->defineProperty(camera->frameType);
    }

    void configure()
    {
        box = flatmodel::namedBox(settings[0]);
        const double rate = std::atof(settings[1].c_str());
        if (rate > 0)
            box.fullRate = rate;
        timeScale = std::atof(settings[2].c_str());
        fault = settings[3];
        faultAt = std::atoi(settings[4].c_str());
        frames = 0;
        firstFrameAtFaultSlot = 0;
        frameTypes.clear();
        exposures[0].setText(frameTypes);
        if (isConnected())
            exposures.apply();
    }

    bool faultNow(const char *kind) const
    {
        if (fault != kind)
            return false;
        return faultAt > 0 ? frames == faultAt : slot == -faultAt && frames == firstFrameAtFaultSlot;
    }

    static std::string elementValue(XMLEle *root, const char *element)
    {
        for (XMLEle *child = nextXMLEle(root, 1); child; child = nextXMLEle(root, 0)) {
            const char *name = findXMLAttValu(child, "name");
            if (name && !std::strcmp(name, element)) {
                std::string value = pcdataXMLEle(child);
                value.erase(0, value.find_first_not_of(" \t\r\n"));
                value.erase(value.find_last_not_of(" \t\r\n") + 1);
                return value;
            }
        }
        return std::string();
    }

    void readFilterNames(XMLEle *root)
    {
        filters.clear();
        for (XMLEle *child = nextXMLEle(root, 1); child; child = nextXMLEle(root, 0)) {
            std::string value = pcdataXMLEle(child);
            value.erase(0, value.find_first_not_of(" \t\r\n"));
            value.erase(value.find_last_not_of(" \t\r\n") + 1);
            filters.push_back(value);
        }
    }

    std::string filter() const
    {
        return slot >= 1 && slot <= int(filters.size()) ? filters[size_t(slot - 1)] : std::string("Luminance");
    }

    static void exposureEnded(void *self) { static_cast<ModelCamera *>(self)->sendFrame(); }

    void sendFrame()
    {
        timer = 0;
        InExposure = false;
        std::vector<unsigned char> fits =
            flatmodel::renderFits(box, camera, filter(), level, exposure * timeScale, unsigned(frames), lampOn);
        if (faultNow("not-fits")) {
            const std::string text = "This is a log file, not an image.\n";
            fits.assign(text.begin(), text.end());
        } else if (faultNow("truncated")) {
            fits.resize(fits.size() / 2);
        }
        frame = std::move(fits);
        INDI::PropertyBlob blob = getBLOB("CCD1");
        blob[0].setBlob(frame.data());
        blob[0].setBlobLen(int(frame.size()));
        blob[0].setSize(int(frame.size()));
        blob[0].setFormat(".fits");
        blob.setState(IPS_OK);
        blob.apply();
        PrimaryCCD.setExposureComplete();
        if (fault == "light-after-frame")
            setLightFrame();
    }

    void setLightFrame()
    {
        INDI::PropertySwitch type = getSwitch("CCD_FRAME_TYPE");
        if (!type.isValid())
            return;
        type.reset();
        type[0].setState(ISS_ON); // FRAME_LIGHT
        PrimaryCCD.setFrameType(INDI::CCDChip::LIGHT_FRAME);
        type.setState(IPS_OK);
        type.apply();
    }

    std::array<std::string, 5> settings; // BOX, RATE, TIME_SCALE, FAULT, FAULT_AT
    INDI::PropertyText model{5};
    INDI::PropertyText exposures{1};
    std::string frameTypes;
    INDI::Property frameType;
    flatmodel::BoxModel box;
    flatmodel::CameraModel camera;
    std::string light;
    std::string wheel;
    std::string fault;
    int faultAt = 1;
    int firstFrameAtFaultSlot = 0;
    int frames = 0;
    bool lampOn = false;
    int level = 0;
    int slot = 0;
    std::vector<std::string> filters;
    double exposure = 0;
    double timeScale = 1;
    int timer = 0;
    std::vector<unsigned char> frame;
};

std::unique_ptr<ModelCamera> camera(new ModelCamera());

} // namespace
