#include "indicamera.h"

#include "secondstext.h"

#include "indilink.h"

namespace {
const QString exposureProperty = QStringLiteral("CCD_EXPOSURE");
const QString exposureElement = QStringLiteral("CCD_EXPOSURE_VALUE");
const QString abortProperty = QStringLiteral("CCD_ABORT_EXPOSURE");
const QString frameTypeProperty = QStringLiteral("CCD_FRAME_TYPE");
const QString frameProperty = QStringLiteral("CCD1");
const QString uploadProperty = QStringLiteral("UPLOAD_MODE");
const int cameraInterface = 1 << 1; // INDI's driver interface bit of a camera

} // namespace

IndiCamera::IndiCamera(IndiLink &indi, const QString &name, const Timeouts &bounds)
    : IndiDevice(indi, name, QStringLiteral("camera")), timeouts(bounds)
{
}

bool IndiCamera::isCamera(const IndiLink &link, const QString &device)
{
    return link.property(device, exposureProperty) || (driverInterfaces(link, device) & cameraInterface);
}

void IndiCamera::receiveFrames()
{
    link.receiveBlobs(name(), frameProperty);
}

QStringList IndiCamera::neededProperties() const
{
    return {exposureProperty, frameTypeProperty};
}

// The frames come to this program, not to the camera's own disk.
void IndiCamera::prepare()
{
    if (property(uploadProperty))
        link.sendSwitch(name(), uploadProperty, QStringLiteral("UPLOAD_CLIENT"));
}

QString IndiCamera::binning() const
{
    const IndiProperty *binning = property(QStringLiteral("CCD_BINNING"));
    if (!binning)
        return QString();
    return QStringLiteral("%1x%2")
        .arg(qRound(binning->numbers.value(QStringLiteral("HOR_BIN"), 1)))
        .arg(qRound(binning->numbers.value(QStringLiteral("VER_BIN"), 1)));
}

QString IndiCamera::colourPattern() const
{
    const IndiProperty *pattern = property(QStringLiteral("CCD_CFA"));
    return pattern ? pattern->texts.value(QStringLiteral("CFA_TYPE")).trimmed() : QString();
}

QString IndiCamera::frameType() const
{
    return asked.dark ? QStringLiteral("FRAME_DARK") : QStringLiteral("FRAME_FLAT");
}

bool IndiCamera::frameTypeIsSet() const
{
    const IndiProperty *type = property(frameTypeProperty);
    return type && !type->busy() && switchIsOn(type, frameType());
}

void IndiCamera::take(const FrameRequest &request, const Done &done)
{
    asked = request;
    answer = done;
    exposing = false;
    setFrameType();
}

void IndiCamera::takeAnother(const Done &done)
{
    take(asked, done);
}

// Before every exposure: another program may have changed it, or the camera defined it again (as LIGHT).
void IndiCamera::setFrameType()
{
    const auto failed = [this](const QString &error) { answer(error, TakenFrame()); };
    wait.start([this] { return property(frameTypeProperty) != nullptr; }, timeouts.propertyMs,
               [this] { return QStringLiteral("%1 has no %2").arg(label(), frameTypeProperty); },
               [this, failed] {
                   link.sendSwitch(name(), frameTypeProperty, frameType());
                   wait.start([this] { return frameTypeIsSet(); }, timeouts.frameTypeMs,
                              [this] {
                                  return QStringLiteral("%1 did not take frame type %2")
                                      .arg(label(), asked.dark ? QStringLiteral("DARK") : QStringLiteral("FLAT"));
                              },
                              [this] { startExposure(); }, failed);
               },
               failed);
}

void IndiCamera::startExposure()
{
    exposing = true;
    exposureAnswered = false;
    started = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
    link.sendNumber(name(), exposureProperty, exposureElement, asked.exposure);
    const double boundS = asked.exposure + timeouts.frameS;
    wait.start([] { return false; }, int(boundS * 1000),
               [this, boundS] { return QStringLiteral("%1 sent no frame within %2 s").arg(label(), secondsText(boundS)); },
               [] {},
               [this](const QString &error) {
                   exposing = false;
                   answer(error, TakenFrame());
               },
               [this] { return exposureFault(); });
}

// An alert the camera showed before this exposure is not this exposure's failure.
QString IndiCamera::exposureFault() const
{
    const IndiProperty *exposure = property(exposureProperty);
    if (exposureAnswered && exposure && exposure->alert())
        return QStringLiteral("%1 failed the exposure of %2 s").arg(label(), secondsText(asked.exposure));
    return QString();
}

void IndiCamera::changed(const IndiProperty &changed)
{
    if (changed.device != name())
        return;
    if (changed.name == exposureProperty)
        exposureAnswered = true;
    if (!exposing || changed.kind != IndiProperty::Kind::Blob || changed.blob.isEmpty())
        return;
    exposing = false;
    wait.cancel();
    TakenFrame frame;
    frame.data = changed.blob;
    frame.source = label();
    frame.exposure = asked.exposure;
    frame.dateObs = started;
    const Done done = answer;
    done(QString(), frame);
}

void IndiCamera::abort()
{
    wait.cancel();
    if (exposing)
        link.sendSwitch(name(), abortProperty, QStringLiteral("ABORT"));
    exposing = false;
}
