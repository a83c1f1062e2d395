// The box through the running panel: the driver is an Alpaca CoverCalibrator client of the panel, so the panel's
// window, its other Alpaca clients and INDI share one box. Requests go out on the client's own thread; the INDI
// loop only hands commands over and hears the outcome through the mailbox.
#pragma once

#include "alpacaclient.h"
#include "boxlink.h"

#include <deque>
#include <memory>

class LoopMailbox;

class PanelLink : public BoxLink
{
public:
    PanelLink(const std::string &host, int port, LoopMailbox &mailbox, BoxLinkEvents &events);
    ~PanelLink() override;

    bool open(LampState &state, BoxIdentity &identity, std::string &error) override;
    void close() override;
    void setLamp(bool on, unsigned level, Done done) override;
    void setLevel(unsigned level, Done done) override;

private:
    struct Command
    {
        bool on = false;
        unsigned level = 0;
        Done done;
    };

    // The client's thread.
    void schedulePoll();
    void queueCommand(Command command);
    void runNextCommand();
    void awaitSettled(Command command, qint64 deadlineMs);
    void finishCommand(const Command &command, bool ok, const std::string &error, const CalibratorReading &reading);
    void poll();
    void pollAnswered(const AlpacaReply &reply);
    void markLost(const QString &why);

    BoxIdentity panelIdentity() const;
    // Runs `job` on the INDI loop's thread unless the link has gone meanwhile.
    void toLoop(std::function<void()> job);

    std::string where;
    LoopMailbox &mailbox;
    BoxLinkEvents &events;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    std::unique_ptr<AlpacaClient> client;

    // The INDI loop's thread.
    LampState last;

    // The client's thread.
    bool closing = false;
    std::deque<Command> commands;
    bool commandRunning = false;
    bool lostSeen = false;
    CalibratorReading seen;
};
