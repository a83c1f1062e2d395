// IndiDeviceLister: connects to an INDI server, waits a moment for the drivers to define their properties, and sorts
// the devices by what they offer.
#include "flatassistant.h"
#include "indilink.h"

#include <QTimer>

namespace {
const int definingMs = 1500;
const int answerMs = 5000;
} // namespace

struct IndiDeviceLister::Impl
{
    std::unique_ptr<IndiLink> link;
    QTimer settle;
    QMap<QString, QStringList> filters;
    QString server;
};

IndiDeviceLister::IndiDeviceLister(QObject *parent) : QObject(parent), d(std::make_unique<Impl>())
{
    qRegisterMetaType<IndiDevices>();
    d->settle.setSingleShot(true);
    connect(&d->settle, &QTimer::timeout, this, [this] {
        IndiDevices devices;
        const IndiLink &link = *d->link;
        if (!link.connected())
            devices.error = QStringLiteral("no INDI server on %1").arg(d->server);
        d->filters.clear();
        for (const QString &device : link.devices()) {
            if (link.property(device, QStringLiteral("CCD_EXPOSURE")))
                devices.cameras.append(device);
            if (link.property(device, QStringLiteral("FLAT_LIGHT_CONTROL"))
                && link.property(device, QStringLiteral("FLAT_LIGHT_INTENSITY")))
                devices.lights.append(device);
            if (link.property(device, QStringLiteral("FILTER_SLOT")))
                devices.wheels.append(device);
            if (const IndiProperty *names = link.property(device, QStringLiteral("FILTER_NAME")))
                for (const QString &element : names->order)
                    d->filters[device].append(names->texts.value(element));
        }
        d->link->disconnectFromServer();
        emit listed(devices);
    });
}

IndiDeviceLister::~IndiDeviceLister() = default;

void IndiDeviceLister::list(const QString &host, int port)
{
    d->server = host + QLatin1Char(':') + QString::number(port);
    d->link = std::make_unique<IndiLink>();
    connect(d->link.get(), &IndiLink::serverAnswered, this, [this](bool ok) { d->settle.start(ok ? definingMs : 0); });
    d->settle.start(answerMs);
    d->link->connectTo(host, port);
}

QStringList IndiDeviceLister::wheelFilters(const QString &wheel) const
{
    return d->filters.value(wheel);
}
