// The one owner of the flat box: it holds the box's state for every front end (the window, the Alpaca
// server, the lost-box watch, the server without a window) and does every device call on a worker thread
// of its own, one at a time, in the order the calls were asked for. Its signals and callbacks come on the
// thread that made it; the debug lines of a device call are written on the worker, in order with the library's.
#pragma once

#include "serialports.h"
#include "velmora/flat.h"

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

namespace velmora {
struct ActionOutcome;
}

class BoxController : public QObject
{
    Q_OBJECT

public:
    enum State { Disconnected, Searching, Connecting, Connected, Lost };
    Q_ENUM(State)

    explicit BoxController(QObject *parent = nullptr);
    // Waits for the worker's last call; the box stays as it is (shutDown() switches it off first).
    ~BoxController() override;

    State state() const { return boxState; }
    QString port() const { return boxPort; }
    // The lamp was asked to be on (the switch), and it did light.
    bool lampSwitchedOn() const { return switchedOn; }
    bool lampOn() const { return lit; }
    // The last level sent to the box (kept while the box is lost, for its return).
    int level() const { return lampLevel; }
    QString lastError() const { return error; }

    // A front end's operation or a device call is under way: other front ends wait for idle().
    bool isBusy() const { return holders > 0 || pendingCalls > 0; }

    // A message box or file dialog of the window waits for the user: front ends refuse commands meanwhile.
    void setModalDialog(bool open, const QString &title = QString());
    bool modalDialogOpen() const { return dialogOpen; }
    QString modalDialogTitle() const { return dialogTitle; }

    // Runs `call` on the worker thread, then `done` with its result here. Calls run one at a time, in order.
    void run(std::function<unsigned(velmora::Flat &)> call, std::function<void(unsigned)> done = {});
    // The same, waiting in a local event loop until `done` has run: the caller's thread goes on serving
    // events meanwhile (user input too, unless `flags` exclude it).
    unsigned runAndWait(std::function<unsigned(velmora::Flat &)> call,
                        QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

    // The serial ports now, with a debug line for each ("serial port: ", "vendor: "); portsListed() tells.
    QList<SerialPortEntry> listPorts();
    // The window listed them itself.
    void noteListedPorts(const QList<SerialPortEntry> &ports);

    // The operations, each with its own debug lines and state changes. `done` hears the outcome.
    // The ports of the box's vendor in turn until one connects ("connect to", "connection failed",
    // "connection accomplished"); the port connected, or empty. A connect reads the lamp as the box reports it.
    void search(const QList<SerialPortEntry> &ports, std::function<void(QString)> done = {});
    // One port, whatever its vendor; the lamp read as the search does.
    void connectPort(const QString &portName, std::function<void(unsigned)> done = {});
    // The window's lamp switch: up to three attempts with a pause after each ("switch lamp on", "retry",
    // "switch lamp on error").
    void switchLampOn(std::function<void(unsigned)> done = {});
    // The front ends beside the window: the level, then the lamp-on attempts, pausing only before a retry (with the
    // same debug lines).
    void lightAtLevel(int level, std::function<void(const velmora::ActionOutcome &)> done = {});
    // Brightness 0, then the lamp off.
    void switchLampOff(std::function<void(unsigned)> done = {});
    // The lamp off alone, as one step of the window's switch and disconnect.
    void turnLampOff(std::function<void(unsigned)> done = {});
    // Whether the library sees a box answering (`done` hears it).
    void checkConnected(std::function<void(bool)> done);
    void setBrightness(int level, std::function<void(unsigned)> done = {});
    void disconnectBox(std::function<void(unsigned)> done = {});
    // A lost box's port (or another box port) is back: connects the first that answers and gives it the level, then
    // the lamp on or off, as they were when it was lost ("connect to", "connection failed").
    void reconnect(const QStringList &portNames, std::function<void(bool)> done = {});
    // The end of the program: the lamp off and the box disconnected when one is connected, then `done`. A search or
    // a return under way ends with the port it is trying: it tries no other and lights no lamp.
    void shutDown(std::function<void()> done = {});

    // A front end holds the controller for the steps of one operation (calls and their waits in between).
    class Hold
    {
    public:
        explicit Hold(BoxController &controller);
        ~Hold();
        Hold(const Hold &) = delete;
        Hold &operator=(const Hold &) = delete;

    private:
        BoxController &controller;
    };

    // Tests reach the library object (or its double) through this; the program never does.
    velmora::Flat *flatForTests() const { return flat.get(); }

signals:
    void stateChanged(BoxController::State state);
    void portChanged(const QString &port);
    void lampChanged(bool switchedOn, bool lit);
    void levelChanged(int level);
    void errorChanged(const QString &error);
    void modalDialogChanged(bool open, const QString &title);
    // A port search listed these ports (a front end other than the window may have asked for it).
    void portsListed(const QStringList &names);
    // The box went away while connected (its port name); the state is Lost now.
    void boxLost(const QString &port);
    // The box came back after it was lost.
    void boxBack(const QString &port);
    // No operation and no device call under way any more.
    void idle();
    // shutDown() was asked for: nothing should start from now on.
    void closing();

private:
    void setState(State state);
    void setPort(const QString &port);
    void setLamp(bool switchedOn, bool lit);
    void setLevel(int level);
    void setError(const QString &error);
    void callDone();
    void release();
    void lostNotice(const QString &port);
    void showConnected(const QString &portName, const velmora::BoxState &lamp);
    // From the worker: runs `step` on this object's thread, after everything posted before it.
    void home(std::function<void()> step);

    std::unique_ptr<velmora::Flat> flat;
    QThread worker;
    QObject *workerContext = nullptr;
    State boxState = Disconnected;
    QString boxPort;
    bool switchedOn = false;
    bool lit = false;
    int lampLevel = 0;
    bool switchedOnAtLoss = false;
    velmora::BoxState stateAtLoss;
    QString error;
    int holders = 0;
    int pendingCalls = 0;
    bool dialogOpen = false;
    QString dialogTitle;
    QString lostPending;
    bool shuttingDown = false;
    // Read on the worker: a search or a return under way tries no further port and lights no lamp once set.
    std::atomic<bool> endAsked{false};
};
