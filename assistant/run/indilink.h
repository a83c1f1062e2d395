// A connection to an INDI server on libindiclient. The client's callbacks come on its own thread; each one is copied
// into a plain snapshot and handed to the Qt thread, where the link keeps the latest state of every property.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QString>

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

    void connectDevice(const QString &device);
    void sendNumber(const QString &device, const QString &property, const QString &element, double value);
    void sendSwitch(const QString &device, const QString &property, const QString &element);
    void receiveBlobs(const QString &device, const QString &property);

signals:
    void serverAnswered(bool ok);
    void serverLost();
    // A property was defined or changed (BLOBs arrive this way too).
    void propertyChanged(const IndiProperty &property);
    void propertyRemoved(const QString &device, const QString &name);

private:
    class Client;
    void take(const IndiProperty &property);
    void forget(const QString &device, const QString &name);

    std::unique_ptr<Client> client;
    QHash<QString, QHash<QString, IndiProperty>> known; // device -> name -> property
    bool isConnected = false;
};

Q_DECLARE_METATYPE(IndiProperty)
