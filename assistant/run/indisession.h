// The run's INDI devices on one server: connects to it, waits (bounded) until each device is listed, connected and
// offers what the run needs, then reports `ready`. From then on it watches them: a device that leaves the server, a
// light box that loses its connection or the server going away is a `fault` that names it.
#pragma once

#include "boundedwait.h"

#include <QObject>
#include <QString>

#include <memory>
#include <set>
#include <vector>

class IndiCamera;
class IndiDevice;
class IndiLightBox;
class IndiLink;
class IndiWheel;
struct AssistantOptions;

class IndiSession : public QObject
{
    Q_OBJECT
public:
    // The devices the options name (none, some or all of camera, light box and wheel).
    explicit IndiSession(const AssistantOptions &options, QObject *parent = nullptr);
    ~IndiSession() override;

    bool hasDevices() const { return !devices.empty(); }
    IndiCamera *camera() const { return theCamera.get(); }
    IndiLightBox *lightBox() const { return theLightBox.get(); }
    IndiWheel *wheel() const { return theWheel.get(); }

    void open();
    // Ends the connection; nothing more is reported.
    void close();

signals:
    void ready();
    void fault(const QString &error);

private:
    void pulse();
    void report(const QString &error);
    QString currentFault() const;
    QString goneDevice() const;
    IndiDevice *firstWhere(bool (IndiDevice::*test)() const, bool wanted) const;
    QString firstMissingProperty() const;
    void awaitListing();
    void connectDevices();
    void awaitProperties();
    void prepare();

    QString host;
    int port;
    QString server; // "host:port", as errors name it
    int devicesTimeoutMs;
    std::unique_ptr<IndiLink> link;
    std::unique_ptr<IndiCamera> theCamera;
    std::unique_ptr<IndiLightBox> theLightBox;
    std::unique_ptr<IndiWheel> theWheel;
    std::vector<IndiDevice *> devices;
    std::set<QString> seen; // the devices the server has listed; one that leaves it has gone away
    BoundedWait connecting;
    bool isReady = false;
    bool quiet = false; // closed, or a fault was reported: the run ends
};
