// The hand-over between the Alpaca server's thread and the window: it lives on the window's thread, publishes
// what the window's controls show, and carries out clients' commands by driving those same controls.
// At most one lamp command waits for the window (a newer one replaces it) and one search serves every client
// that asked for it; nothing is carried out while a dialog of the panel waits for the user.
#pragma once

#include "alpacaprotocol.h"

#include <QObject>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class VelmoraFlat;

namespace alpaca {
class PublishedState;
}

class AlpacaWindowBridge : public QObject
{
    Q_OBJECT

public:
    struct Outcome
    {
        bool succeeded = false;
        QString failure;
    };
    // Called on the window's thread (or on the calling thread when the bridge is closed).
    using Done = std::function<void(const Outcome &)>;

    // Built on the window's thread, after the window.
    AlpacaWindowBridge(VelmoraFlat &window, alpaca::PublishedState &state);
    ~AlpacaWindowBridge() override;

    // Any thread. calibratoron or calibratoroff: replaces the lamp command that still waits, if any.
    void submitLamp(const alpaca::Command &command);
    // Any thread. The search for the box without message boxes; every caller until it ends gets its outcome.
    void submitSearch(Done done);
    // Any thread. Stores the server's settings for the next start.
    void submitSettings(const alpaca::Settings &settings);
    // Window's thread: refuses further commands; searches still waiting end with a failure.
    void close();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void runLamp();
    void runSearch();
    // The reason a command cannot run now (a dialog waits for the user), or empty.
    QString blockedBy() const;
    void publish();
    void publishDialog();
    bool boxConnected() const;
    bool lampLit() const;
    Outcome calibratorOn(int level);
    Outcome calibratorOff();
    Outcome connectBox();
    Outcome connectBoxKeepingPreference();

    VelmoraFlat &window;
    alpaca::PublishedState &state;
    bool performing = false;
    std::mutex mutex; // guards what follows
    std::optional<alpaca::Command> waitingLamp;
    std::vector<Done> searchWaiters;
    bool searchQueued = false;
    bool closed = false;
};
