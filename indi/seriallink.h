// The box on a serial port, through the device library. Every library call runs on the link's own worker thread,
// one after the other. The INDI loop waits for one exchange at most (a level, the lamp off, the first lamp-on
// attempt): its outcome then goes out to the clients alone, without a Busy before it. The lamp's retries with their
// pauses and a returning box's connect do not hold the loop; open, the one long wait the driver allows itself, does.
// Outcomes that come later reach the INDI loop through the mailbox.
#pragma once

#include "boxlink.h"

#include "velmora/flat.h"
#include "velmora/portnode.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class LoopMailbox;

class SerialLink : public BoxLink
{
public:
    SerialLink(const std::string &port, LoopMailbox &mailbox, BoxLinkEvents &events);
    ~SerialLink() override;

    bool open(LampState &state, BoxIdentity &identity, std::string &error) override;
    void close() override;
    void setLamp(bool on, unsigned level, Done done) override;
    void setLevel(unsigned level, Done done) override;

private:
    // Runs the library's calls in order on a thread of its own.
    class Worker
    {
    public:
        Worker();
        ~Worker();
        void run(std::function<void()> job);
        // Drops the jobs not yet started and waits for the one under way.
        void stop();

    private:
        void loop();
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> jobs;
        bool stopping = false;
        std::thread thread;
    };

    // The worker's thread.
    bool connectBox(LampState &state, BoxIdentity &identity, std::string &error);

    // The INDI loop's thread.
    void toLoop(std::function<void()> job);
    // A library call on the worker; it may call its argument to stop the INDI loop's wait before it ends.
    using Command = std::function<unsigned(const std::function<void()> &letLoopGo)>;
    // Runs `command` on the worker; `finish` gets its status on the INDI loop, within this call when it comes within
    // `waitMs` and the command did not let the loop go.
    void runCommand(Command command, int waitMs, std::function<void(unsigned)> finish);
    void commandDone(unsigned status, const char *what, const LampState &state, const Done &done);
    void boxGone();
    void startWatch();
    void stopWatch();
    void watchPort();
    static void watchTick(void *self);

    std::string port;
    LoopMailbox &mailbox;
    BoxLinkEvents &events;
    velmora::Flat flat;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    LampState last;
    bool connected = false;
    bool lost = false;
    bool reconnecting = false;
    velmora::PortReturn portReturn;
    int watchTimer = -1;
    std::unique_ptr<Worker> worker = std::make_unique<Worker>();
};
