#include "indilink.h"

#include <baseclient.h>
#include <basedevice.h>
#include <indipropertyswitch.h>

#include <QMetaObject>

#include <mutex>
#include <thread>

namespace {

IndiProperty snapshot(INDI::Property property, bool withBlob)
{
    IndiProperty copy;
    copy.device = QString::fromUtf8(property.getDeviceName());
    copy.name = QString::fromUtf8(property.getName());
    copy.state = int(property.getState());
    switch (property.getType()) {
    case INDI_NUMBER:
        copy.kind = IndiProperty::Kind::Number;
        for (const auto &element : *property.getNumber()) {
            copy.numbers.insert(QString::fromUtf8(element.getName()), element.getValue());
            copy.order.append(QString::fromUtf8(element.getName()));
        }
        break;
    case INDI_TEXT:
        copy.kind = IndiProperty::Kind::Text;
        for (const auto &element : *property.getText()) {
            copy.texts.insert(QString::fromUtf8(element.getName()), QString::fromUtf8(element.getText()));
            copy.order.append(QString::fromUtf8(element.getName()));
        }
        break;
    case INDI_SWITCH:
        copy.kind = IndiProperty::Kind::Switch;
        for (const auto &element : *property.getSwitch()) {
            copy.switches.insert(QString::fromUtf8(element.getName()), element.getState() == ISS_ON);
            copy.order.append(QString::fromUtf8(element.getName()));
        }
        break;
    case INDI_LIGHT:
        copy.kind = IndiProperty::Kind::Light;
        break;
    case INDI_BLOB:
        copy.kind = IndiProperty::Kind::Blob;
        for (const auto &element : *property.getBLOB()) {
            copy.order.append(QString::fromUtf8(element.getName()));
            if (withBlob && copy.blob.isEmpty() && element.getBlob() && element.getBlobLen() > 0) {
                copy.blob = QByteArray(static_cast<const char *>(element.getBlob()), element.getBlobLen());
                copy.blobFormat = QString::fromUtf8(element.getFormat());
            }
        }
        break;
    default:
        break;
    }
    return copy;
}

} // namespace

class IndiLink::Client : public INDI::BaseClient
{
public:
    explicit Client(IndiLink *link) : owner(link) {}
    ~Client() override
    {
        if (connector.joinable())
            connector.join();
    }

    void start(const QString &host, int port)
    {
        setServer(host.toUtf8().constData(), unsigned(port));
        setConnectionTimeout(3, 0);
        connector = std::thread([this] {
            const bool ok = connectServer();
            post([ok](IndiLink *link) {
                link->isConnected = ok;
                emit link->serverAnswered(ok);
            });
        });
    }

    void finish()
    {
        {
            const std::lock_guard<std::mutex> lock(ownerLock);
            owner = nullptr; // nothing more is handed on, whatever the library's thread still reports
        }
        if (connector.joinable())
            connector.join();
        if (isServerConnected())
            disconnectServer();
    }

    // The client library's own form of this leaves the other switches of a one-of-many property on.
    void sendOneSwitch(const char *device, const char *name, const char *element)
    {
        INDI::PropertySwitch switches = getDevice(device).getSwitch(name);
        if (!switches.isValid() || !switches.findWidgetByName(element))
            return;
        switches.reset();
        switches.findWidgetByName(element)->setState(ISS_ON);
        sendNewSwitch(switches);
    }

protected:
    void newProperty(INDI::Property property) override { hand(property, false); }
    void updateProperty(INDI::Property property) override { hand(property, true); }
    void removeProperty(INDI::Property property) override
    {
        const QString device = QString::fromUtf8(property.getDeviceName());
        const QString name = QString::fromUtf8(property.getName());
        post([device, name](IndiLink *link) { link->forget(device, name); });
    }
    void serverDisconnected(int) override
    {
        post([](IndiLink *link) {
            if (!link->isConnected)
                return;
            link->isConnected = false;
            emit link->serverLost();
        });
    }

private:
    void hand(INDI::Property property, bool withBlob)
    {
        const IndiProperty copy = snapshot(property, withBlob);
        post([copy](IndiLink *link) { link->take(copy); });
    }

    // Called on the library's threads: the job runs on the link's thread, unless the link has let go meanwhile.
    template <typename Job> void post(Job job)
    {
        const std::lock_guard<std::mutex> lock(ownerLock);
        if (!owner)
            return;
        IndiLink *link = owner;
        QMetaObject::invokeMethod(owner, [link, job] { job(link); }, Qt::QueuedConnection);
    }

    std::mutex ownerLock;
    IndiLink *owner;
    std::thread connector;
};

IndiLink::IndiLink(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<IndiProperty>();
}

IndiLink::~IndiLink()
{
    disconnectFromServer();
}

void IndiLink::connectTo(const QString &host, int port)
{
    disconnectFromServer();
    client = std::make_unique<Client>(this);
    client->start(host, port);
}

void IndiLink::disconnectFromServer()
{
    if (!client)
        return;
    isConnected = false;
    client->finish();
    client.reset();
    known.clear();
}

bool IndiLink::hasDevice(const QString &device) const
{
    return known.contains(device);
}

QStringList IndiLink::devices() const
{
    return known.keys();
}

const IndiProperty *IndiLink::property(const QString &device, const QString &name) const
{
    const auto found = known.constFind(device);
    if (found == known.constEnd())
        return nullptr;
    const auto property = found->constFind(name);
    return property == found->constEnd() ? nullptr : &*property;
}

void IndiLink::connectDevice(const QString &device)
{
    if (client && isConnected)
        client->connectDevice(device.toUtf8().constData());
}

void IndiLink::sendNumber(const QString &device, const QString &property, const QString &element, double value)
{
    if (client && isConnected)
        client->sendNewNumber(device.toUtf8().constData(), property.toUtf8().constData(),
                              element.toUtf8().constData(), value);
}

void IndiLink::sendSwitch(const QString &device, const QString &property, const QString &element)
{
    if (client && isConnected)
        client->sendOneSwitch(device.toUtf8().constData(), property.toUtf8().constData(), element.toUtf8().constData());
}

void IndiLink::receiveBlobs(const QString &device, const QString &property)
{
    if (client && isConnected)
        client->setBLOBMode(B_ALSO, device.toUtf8().constData(), property.toUtf8().constData());
}

void IndiLink::take(const IndiProperty &property)
{
    IndiProperty &kept = known[property.device][property.name];
    const QByteArray blob = property.blob;
    kept = property;
    emit propertyChanged(kept);
    if (!blob.isEmpty())
        kept.blob.clear(); // a frame is handed on once, not kept
}

void IndiLink::forget(const QString &device, const QString &name)
{
    const auto found = known.find(device);
    if (found == known.end())
        return;
    found->remove(name);
    emit propertyRemoved(device, name);
}
