// A connected flat box that goes away (cable pulled, power lost, box silent) is shown as lost at once,
// and connected again, with its lamp as it was, when its port comes back.
#pragma once

#include "portreturn.h"

#include <QByteArray>
#include "velmora/portnode.h"

#include <QObject>
#include <QString>
#include <QStringList>

class BoxController;

class BoxWatcher : public QObject
{
    Q_OBJECT

public:
    // Hears of lost boxes from the controller; a child of it.
    explicit BoxWatcher(BoxController &controller);

    // Waiting for a lost box's port to come back.
    bool isWaitingForBox() const { return !lostPort.isEmpty(); }

private:
    void boxLost(const QString &portName);
    void stateChanged();
    void noteConnectedPort();
    void stopWaiting();
    void lookForBox();
    void reconnect(const QStringList &portNames);
    void reconnected(bool back);
    QStringList listedPortNames();

    BoxController &controller;
    PortReturnWatch portWatch;
    QString lostPort;
    velmora::PortReturn lostPortReturn;
    velmora::PortNode connectedNode;
    QStringList knownPorts;
    bool reconnecting = false;
    bool closed = false;
};

// Start-up (with or without a window) attaches one watcher to the controller.
BoxWatcher *watchForLostBox(BoxController &controller);
