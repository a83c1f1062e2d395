// The hand-over between the Alpaca server's threads and the box's controller: it lives on the controller's
// thread, publishes the controller's state, and carries out clients' commands as the controller's operations.
// At most one lamp command waits (a newer one replaces it) and one search serves every client that asked for it;
// a command waits for another front end's operation to end, and nothing is carried out while a dialog of the
// panel waits for the user.
#pragma once

#include "alpacaprotocol.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class BoxController;

namespace alpaca {
class PublishedState;
}

class AlpacaBoxBridge : public QObject
{
    Q_OBJECT

public:
    struct Outcome
    {
        bool succeeded = false;
        QString failure;
    };
    // Called on the controller's thread (or on the calling thread when the bridge is closed).
    using Done = std::function<void(const Outcome &)>;

    // Built on the controller's thread.
    AlpacaBoxBridge(BoxController &controller, alpaca::PublishedState &state);
    ~AlpacaBoxBridge() override;

    // Any thread. calibratoron or calibratoroff: replaces the lamp command that still waits, if any.
    void submitLamp(const alpaca::Command &command);
    // Any thread. The search for the box without message boxes; every caller until it ends gets its outcome.
    void submitSearch(Done done);
    // Any thread. Stores the server's settings for the next start.
    void submitSettings(const alpaca::Settings &settings);
    // Controller's thread: refuses further commands; searches still waiting end with a failure.
    void close();

private:
    void runWaiting();
    void runLamp();
    void runSearch();
    // The reason a command cannot run now (a dialog waits for the user), or empty.
    QString blockedBy() const;
    void publish();
    void publishDialog();
    bool boxConnected() const;
    void finishLamp(const Outcome &result);
    void calibratorOn(int level, const Done &done);
    void setLevel(int level, const Done &done);
    void calibratorOff(const Done &done);
    void connectBox(const Done &done);

    BoxController &controller;
    alpaca::PublishedState &state;
    std::shared_ptr<void> hold; // the controller, held for the command under way
    bool performing = false;
    std::mutex mutex; // guards what follows
    std::optional<alpaca::Command> waitingLamp;
    std::vector<Done> searchWaiters;
    bool lampQueued = false;
    bool searchQueued = false;
    bool closed = false;
};
