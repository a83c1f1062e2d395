// An INDI camera (CCD_EXPOSURE, CCD_FRAME_TYPE, its frames through CCD1) as the run's frame source.
#pragma once

#include "framesource.h"
#include "indidevice.h"

class IndiCamera : public IndiDevice, public FrameSource
{
public:
    struct Timeouts
    {
        int propertyMs = 3000;    // a property the camera defines again appears
        int frameTypeMs = 5000;   // the camera takes the frame type
        double frameS = 30;       // beyond the exposure, for its frame to arrive
    };
    IndiCamera(IndiLink &link, const QString &name, const Timeouts &timeouts);

    // Whether a device offers what a camera must.
    static bool isCamera(const IndiLink &link, const QString &device);
    // Before the link connects: the frames come along with the properties.
    void receiveFrames();

    QString id() const override { return name(); }
    QString binning() const override;
    QString colourPattern() const override;
    void take(const FrameRequest &request, const Done &done) override;
    void takeAnother(const Done &done) override;
    void abort() override;

    void prepare() override;
    void changed(const IndiProperty &property) override;

protected:
    QStringList neededProperties() const override;

private:
    QString frameType() const;
    bool frameTypeIsSet() const;
    void setFrameType();
    void startExposure();
    QString exposureFault() const;

    Timeouts timeouts;
    FrameRequest asked;
    Done answer;
    bool exposing = false;         // a frame is awaited
    bool exposureAnswered = false; // the camera reported on this exposure since it began
    QString started;
};
