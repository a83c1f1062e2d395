#include "indilink.h"

#include "brokenpipe.h"

#include <baseclient.h>
#include <basedevice.h>
#include <indipropertynumber.h>
#include <indipropertyswitch.h>

#include <QMetaObject>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

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

// New values to send, built from the link's own snapshot: the library's property objects stay its thread's alone.
INDI::PropertyNumber numbersToSend(const IndiProperty &last, const QString &element, double value)
{
    INDI::PropertyNumber numbers(size_t(last.order.size()));
    numbers.setDeviceName(last.device.toUtf8().constData());
    numbers.setName(last.name.toUtf8().constData());
    for (int i = 0; i < last.order.size(); ++i) {
        const QString &name = last.order[i];
        numbers[i].setName(name.toUtf8().constData());
        numbers[i].setValue(name == element ? value : last.numbers.value(name));
    }
    return numbers;
}

INDI::PropertySwitch switchesToSend(const IndiProperty &last, const QString &element)
{
    INDI::PropertySwitch switches(size_t(last.order.size()));
    switches.setDeviceName(last.device.toUtf8().constData());
    switches.setName(last.name.toUtf8().constData());
    for (int i = 0; i < last.order.size(); ++i) {
        switches[i].setName(last.order[i].toUtf8().constData());
        switches[i].setState(last.order[i] == element ? ISS_ON : ISS_OFF);
    }
    return switches;
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

    // The library's thread has seen the connection end; the link hears of it a moment later.
    bool serverGone() const { return gone; }

    // Applied on the library's thread, which reads the BLOB modes as each message comes in.
    void wantBlobs(const QString &device, const QString &property)
    {
        const std::lock_guard<std::mutex> lock(wishLock);
        blobWishes.insert({device.toStdString(), property.toStdString()});
    }

protected:
    void newProperty(INDI::Property property) override
    {
        applyBlobWish(property);
        hand(property, false);
    }
    void updateProperty(INDI::Property property) override { hand(property, true); }
    void removeDevice(INDI::BaseDevice device) override
    {
        const QString name = QString::fromUtf8(device.getDeviceName());
        post([name](IndiLink *link) { link->forgetDevice(name); });
    }
    void removeProperty(INDI::Property property) override
    {
        const QString device = QString::fromUtf8(property.getDeviceName());
        const QString name = QString::fromUtf8(property.getName());
        post([device, name](IndiLink *link) { link->forget(device, name); });
    }
    void serverDisconnected(int) override
    {
        gone = true;
        post([](IndiLink *link) {
            if (!link->isConnected)
                return;
            link->isConnected = false;
            emit link->serverLost();
        });
    }

private:
    void applyBlobWish(INDI::Property property)
    {
        if (property.getType() != INDI_BLOB)
            return;
        const std::lock_guard<std::mutex> lock(wishLock);
        if (blobWishes.count({property.getDeviceName(), property.getName()}))
            setBLOBMode(B_ALSO, property.getDeviceName(), property.getName());
    }

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
    std::atomic<bool> gone{false};
    std::mutex wishLock;
    std::set<std::pair<std::string, std::string>> blobWishes; // device, property
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
    ignoreBrokenPipes();
    client = std::make_unique<Client>(this);
    for (const auto &wish : blobWishes)
        client->wantBlobs(wish.first, wish.second);
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

const IndiProperty *IndiLink::sendable(const QString &device, const QString &name, const QString &element,
                                       IndiProperty::Kind kind) const
{
    if (!client || !isConnected || client->serverGone())
        return nullptr;
    const IndiProperty *last = property(device, name);
    return last && last->kind == kind && last->order.contains(element) ? last : nullptr;
}

void IndiLink::sendNumber(const QString &device, const QString &property, const QString &element, double value)
{
    if (const IndiProperty *last = sendable(device, property, element, IndiProperty::Kind::Number))
        client->sendNewNumber(numbersToSend(*last, element, value));
}

void IndiLink::sendSwitch(const QString &device, const QString &property, const QString &element)
{
    if (const IndiProperty *last = sendable(device, property, element, IndiProperty::Kind::Switch))
        client->sendNewSwitch(switchesToSend(*last, element));
}

void IndiLink::receiveBlobs(const QString &device, const QString &property)
{
    blobWishes.append(qMakePair(device, property));
}

void IndiLink::take(const IndiProperty &property)
{
    IndiProperty &kept = known[property.device][property.name];
    kept = property;
    kept.blob.clear(); // a frame is handed on once, not kept
    // A copy: a receiver may end the connection, and with it every property kept.
    const IndiProperty changed = property;
    emit propertyChanged(changed);
}

void IndiLink::forget(const QString &device, const QString &name)
{
    const auto found = known.find(device);
    if (found == known.end())
        return;
    found->remove(name);
    emit propertyRemoved(device, name);
}

void IndiLink::forgetDevice(const QString &device)
{
    if (!known.remove(device))
        return;
    emit deviceRemoved(device);
}
