#include "indisession.h"

#include "flatassistant.h"
#include "indicamera.h"
#include "indilightbox.h"
#include "indilink.h"
#include "indiwheel.h"

namespace {
const int propertiesDefineMs = 3000; // a connected device defines the rest of its properties
} // namespace

IndiSession::IndiSession(const AssistantOptions &options, QObject *parent)
    : QObject(parent),
      host(options.indiHost),
      port(options.indiPort),
      server(options.indiHost + QLatin1Char(':') + QString::number(options.indiPort)),
      devicesTimeoutMs(options.deviceTimeoutMs),
      link(std::make_unique<IndiLink>())
{
    if (!options.camera.isEmpty()) {
        IndiCamera::Timeouts timeouts;
        timeouts.propertyMs = propertiesDefineMs;
        timeouts.frameTypeMs = options.deviceTimeoutMs;
        timeouts.frameS = options.frameTimeoutS;
        theCamera = std::make_unique<IndiCamera>(*link, options.camera, timeouts);
        devices.push_back(theCamera.get());
    }
    if (!options.light.isEmpty()) {
        theLightBox = std::make_unique<IndiLightBox>(*link, options.light, options.lightTimeoutMs);
        devices.push_back(theLightBox.get());
    }
    if (!options.wheel.isEmpty()) {
        theWheel = std::make_unique<IndiWheel>(*link, options.wheel, options.wheelTimeoutMs);
        devices.push_back(theWheel.get());
    }
}

IndiSession::~IndiSession()
{
    close();
}

void IndiSession::open()
{
    connect(link.get(), &IndiLink::serverAnswered, this, [this](bool ok) {
        if (!ok)
            return report(QStringLiteral("no INDI server on %1").arg(server));
        awaitListing();
    });
    connect(link.get(), &IndiLink::serverLost, this,
            [this] { report(QStringLiteral("INDI server on %1 went away").arg(server)); });
    connect(link.get(), &IndiLink::propertyChanged, this, [this](const IndiProperty &changed) {
        for (IndiDevice *device : devices)
            device->changed(changed);
        pulse();
    });
    connect(link.get(), &IndiLink::propertyRemoved, this, [this] { pulse(); });
    connect(link.get(), &IndiLink::deviceRemoved, this, [this] { pulse(); });
    if (theCamera)
        theCamera->receiveFrames();
    link->connectTo(host, port);
}

void IndiSession::close()
{
    quiet = true;
    connecting.cancel();
    for (IndiDevice *device : devices)
        device->cancelWait();
    link->disconnectFromServer();
}

void IndiSession::report(const QString &error)
{
    if (quiet)
        return;
    quiet = true;
    connecting.cancel();
    emit fault(error);
}

// After every change on the server: a fault first, else the waits under way answer when they can.
void IndiSession::pulse()
{
    if (quiet)
        return;
    for (IndiDevice *device : devices)
        if (link->hasDevice(device->name()))
            seen.insert(device->name());
    const QString error = currentFault();
    if (!error.isEmpty())
        return report(error);
    connecting.check();
    for (IndiDevice *device : devices)
        if (!quiet)
            device->recheck();
}

QString IndiSession::currentFault() const
{
    const QString gone = goneDevice();
    if (!gone.isEmpty())
        return gone + QStringLiteral(" went away");
    if (!isReady)
        return QString();
    for (IndiDevice *device : devices) {
        const QString error = device->fault();
        if (!error.isEmpty())
            return error;
    }
    return QString();
}

QString IndiSession::goneDevice() const
{
    for (IndiDevice *device : devices)
        if (seen.count(device->name()) && !link->hasDevice(device->name()))
            return device->label();
    return QString();
}

IndiDevice *IndiSession::firstWhere(bool (IndiDevice::*test)() const, bool wanted) const
{
    for (IndiDevice *device : devices)
        if ((device->*test)() == wanted)
            return device;
    return nullptr;
}

void IndiSession::awaitListing()
{
    const auto failed = [this](const QString &error) { report(error); };
    connecting.start([this] { return !firstWhere(&IndiDevice::listed, false); }, devicesTimeoutMs,
                     [this] {
                         return QStringLiteral("no INDI device \"%1\" on %2")
                             .arg(firstWhere(&IndiDevice::listed, false)->name(), server);
                     },
                     [this] { connectDevices(); }, failed);
}

void IndiSession::connectDevices()
{
    for (IndiDevice *device : devices)
        device->connectDevice();
    const auto failed = [this](const QString &error) { report(error); };
    connecting.start([this] { return !firstWhere(&IndiDevice::connected, false); }, devicesTimeoutMs,
                     [this] {
                         return QStringLiteral("INDI device \"%1\" did not connect")
                             .arg(firstWhere(&IndiDevice::connected, false)->name());
                     },
                     [this] { awaitProperties(); }, failed);
}

// The first property a device lacks, as the error names it; empty when every device offers what it must.
QString IndiSession::firstMissingProperty() const
{
    for (IndiDevice *device : devices) {
        const QString missing = device->missingProperty();
        if (!missing.isEmpty())
            return QStringLiteral("%1 has no %2").arg(device->label(), missing);
    }
    return QString();
}

void IndiSession::awaitProperties()
{
    const auto failed = [this](const QString &error) { report(error); };
    connecting.start([this] { return firstMissingProperty().isEmpty(); }, propertiesDefineMs,
                     [this] { return firstMissingProperty(); }, [this] { prepare(); }, failed);
}

void IndiSession::prepare()
{
    for (IndiDevice *device : devices)
        device->prepare();
    isReady = true;
    emit ready();
}
