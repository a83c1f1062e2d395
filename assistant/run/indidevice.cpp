#include "indidevice.h"

#include "indilink.h"

namespace {
const QString connectionProperty = QStringLiteral("CONNECTION");
const QString connectElement = QStringLiteral("CONNECT");
const QString driverProperty = QStringLiteral("DRIVER_INFO");
} // namespace

IndiDevice::IndiDevice(IndiLink &indi, const QString &name, const QString &role)
    : link(indi), deviceName(name), deviceRole(role)
{
}

IndiDevice::~IndiDevice() = default;

QString IndiDevice::label() const
{
    return QStringLiteral("%1 \"%2\"").arg(deviceRole, deviceName);
}

bool IndiDevice::listed() const
{
    return property(connectionProperty) != nullptr;
}

bool IndiDevice::connected() const
{
    const IndiProperty *connection = property(connectionProperty);
    return connection && connection->ok() && switchIsOn(connection, connectElement);
}

bool IndiDevice::connectionLost() const
{
    const IndiProperty *connection = property(connectionProperty);
    return !connection || connection->alert() || !switchIsOn(connection, connectElement);
}

void IndiDevice::connectDevice()
{
    if (!switchIsOn(property(connectionProperty), connectElement))
        link.sendSwitch(deviceName, connectionProperty, connectElement);
}

QString IndiDevice::missingProperty() const
{
    for (const QString &needed : neededProperties())
        if (!property(needed))
            return needed;
    return QString();
}

const IndiProperty *IndiDevice::property(const QString &name) const
{
    return link.property(deviceName, name);
}

bool IndiDevice::switchIsOn(const IndiProperty *property, const QString &element)
{
    return property && property->switches.value(element);
}

int IndiDevice::driverInterfaces(const IndiLink &link, const QString &device)
{
    const IndiProperty *info = link.property(device, driverProperty);
    return info ? info->texts.value(QStringLiteral("DRIVER_INTERFACE")).toInt() : 0;
}

QString IndiDevice::driverExecutable() const
{
    const IndiProperty *info = property(driverProperty);
    return info ? info->texts.value(QStringLiteral("DRIVER_EXEC")) : QString();
}
