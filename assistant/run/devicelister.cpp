// IndiDeviceLister: connects to an INDI server, waits a moment for the drivers to define their properties, and sorts
// the devices by what they offer, or, for devices not connected yet, by the interfaces their drivers declare.
#include "flatassistant.h"
#include "indicamera.h"
#include "indilightbox.h"
#include "indilink.h"
#include "indiwheel.h"

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
            if (IndiCamera::isCamera(link, device))
                devices.cameras.append(device);
            if (IndiLightBox::isLightBox(link, device))
                devices.lights.append(device);
            if (IndiWheel::isWheel(link, device))
                devices.wheels.append(device);
            const QStringList names = IndiWheel::filterNames(link, device);
            if (!names.isEmpty())
                d->filters[device] = names;
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
