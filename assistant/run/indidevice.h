// What the run's INDI devices have in common: a name on a server, a role in the run ("camera"), the connection, the
// properties they must offer, and one bounded wait on their properties at a time. IndiCamera, IndiLightBox and
// IndiWheel build on it; with them, it is the only code that knows INDI's property and element names.
#pragma once

#include "boundedwait.h"

#include <QString>
#include <QStringList>

class IndiLink;
struct IndiProperty;

class IndiDevice
{
public:
    IndiDevice(IndiLink &link, const QString &name, const QString &role);
    virtual ~IndiDevice();

    QString name() const { return deviceName; }
    QString role() const { return deviceRole; }
    // "camera \"Model Camera\"", as errors name it.
    QString label() const;

    // The server lists the device (it has defined its connection).
    bool listed() const;
    bool connected() const;
    // Once connected: the connection is gone, shows an alert, or was switched off.
    bool connectionLost() const;
    void connectDevice();
    // The first property the run needs that the device has not defined; empty when it offers them all.
    QString missingProperty() const;
    // Once its properties are there: what the device is to do, or to tell, before the run.
    virtual void prepare() {}
    // A fault that ends the run while it goes on (the device lost its connection); empty while it is sound.
    virtual QString fault() const { return QString(); }
    // Every change on the server, before faults are looked for.
    virtual void changed(const IndiProperty &) {}
    // After every change: the wait under way answers when it can.
    void recheck() { wait.check(); }
    void cancelWait() { wait.cancel(); }

protected:
    virtual QStringList neededProperties() const = 0;
    const IndiProperty *property(const QString &name) const;
    static bool switchIsOn(const IndiProperty *property, const QString &element);
    // The interfaces a driver declares: a device not yet connected has defined only a few properties, but says what
    // it is.
    static int driverInterfaces(const IndiLink &link, const QString &device);
    QString driverExecutable() const;

    IndiLink &link;
    BoundedWait wait;

private:
    QString deviceName;
    QString deviceRole;
};
