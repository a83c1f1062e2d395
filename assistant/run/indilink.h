// A connection to an INDI server on libindiclient. The client's callbacks come on its own thread; each one is copied
// into a plain snapshot and handed to the Qt thread, where the link keeps the latest state of every property. The Qt
// thread never touches the library's own property objects: what it sends is built from its snapshots, and what
// changes the library's state (the BLOB mode) is done on the library's thread.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

// One INDI property as last reported.
struct IndiProperty
{
    enum class Kind { Number, Text, Switch, Light, Blob };
    QString device;
    QString name;
    Kind kind = Kind::Number;
    int state = 0; // 0 Idle, 1 Ok, 2 Busy, 3 Alert
    QMap<QString, double> numbers;
    QMap<QString, QString> texts;
    QMap<QString, bool> switches;
    QStringList order; // element names in the driver's order
    QByteArray blob;   // the first BLOB element's data
    QString blobFormat;

    bool ok() const { return state == 1; }
    bool busy() const { return state == 2; }
    bool alert() const { return state == 3; }
};

class IndiLink : public QObject
{
    Q_OBJECT
public:
    explicit IndiLink(QObject *parent = nullptr);
    ~IndiLink() override;

    // Connects in the background; `serverAnswered` follows.
    void connectTo(const QString &host, int port);
    void disconnectFromServer();
    bool connected() const { return isConnected; }

    bool hasDevice(const QString &device) const;
    QStringList devices() const;
    // The latest state of a property, or nullptr when the device has not defined it.
    const IndiProperty *property(const QString &device, const QString &name) const;

    // Each sends the property as last reported with one element changed; nothing when it is not defined.
    void sendNumber(const QString &device, const QString &property, const QString &element, double value);
    // The element On, the others Off.
    void sendSwitch(const QString &device, const QString &property, const QString &element);
    // Before connectTo: the frames of this BLOB property come along from then on.
    void receiveBlobs(const QString &device, const QString &property);

signals:
    void serverAnswered(bool ok);
    void serverLost();
    // A property was defined or changed (BLOBs arrive this way too).
    void propertyChanged(const IndiProperty &property);
    void propertyRemoved(const QString &device, const QString &name);
    // The server removed the whole device, e.g. because its driver ended; its properties are gone too.
    void deviceRemoved(const QString &device);

private:
    class Client;
    void take(const IndiProperty &property);
    void forget(const QString &device, const QString &name);
    void forgetDevice(const QString &device);
    // The property as last reported, when it can be sent with this element.
    const IndiProperty *sendable(const QString &device, const QString &name, const QString &element,
                                 IndiProperty::Kind kind) const;

    std::unique_ptr<Client> client;
    QHash<QString, QHash<QString, IndiProperty>> known; // device -> name -> property
    QList<QPair<QString, QString>> blobWishes;           // device, BLOB property
    bool isConnected = false;
};

Q_DECLARE_METATYPE(IndiProperty)
