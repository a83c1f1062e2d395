// The hand-over between the Alpaca server's threads and the window: it lives on the window's thread, publishes
// what the window's controls show, and carries out clients' commands by driving those same controls.
#pragma once

#include "alpacaprotocol.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <future>
#include <mutex>

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

    // Built on the window's thread, after the window.
    AlpacaWindowBridge(VelmoraFlat &window, alpaca::PublishedState &state);
    ~AlpacaWindowBridge() override;

    // Any thread: queues the command for the window's thread. The future breaks if the bridge goes first.
    std::future<Outcome> submit(const alpaca::Command &command);
    // Window's thread: refuses further commands and drops those still waiting (their futures break).
    void close();

    // Window's thread: does the command now.
    Outcome perform(const alpaca::Command &command);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Commands wait while a modal dialog is open: the window's slot that opened it has not finished.
    void runWhenIdle(std::function<void()> job);
    void runWaiting();
    void publish();
    bool boxConnected() const;
    bool lampLit() const;
    Outcome calibratorOn(int level);
    Outcome calibratorOff();
    Outcome connectBox();

    VelmoraFlat &window;
    alpaca::PublishedState &state;
    bool performing = false;
    std::deque<std::function<void()>> waiting;
    QTimer retry;
    std::mutex submitMutex;
    bool closed = false;
};
