// A connected flat box that goes away (cable pulled, power lost, box silent) is shown as lost at once,
// and connected again, with its lamp as it was, when its port comes back.
#pragma once

#include "portreturn.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class VelmoraFlat;

class BoxWatcher : public QObject
{
    Q_OBJECT

public:
    // Hears of lost boxes from the window's device; a child of the window.
    explicit BoxWatcher(VelmoraFlat &window);

    // Waiting for a lost box's port to come back.
    bool isWaitingForBox() const { return !lostPort.isEmpty(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void boxLost(const QString &portName);
    void showLost();
    void noteConnectedPort();
    void stopWaiting();
    void lookForBox();
    bool reconnect(const QString &portName);
    void showBack(const QString &portName);
    QStringList listedPortNames();

    VelmoraFlat &window;
    PortReturnWatch portWatch;
    QString lostPort;
    QByteArray lostPortNode;
    QByteArray connectedNode;
    QStringList knownPorts;
    bool lampWasOn = false;
    int lampLevel = 0;
    bool windowClosed = false;
};

// Start-up and the tests attach one watcher to the window once it is built.
BoxWatcher *watchForLostBox(VelmoraFlat &window);
