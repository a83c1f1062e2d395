// The box on a serial port, through the device library. Every library call runs on the link's own worker thread,
// one after the other: the INDI loop never waits for the box, except in open, the one long wait the driver allows
// itself. Outcomes come back to the INDI loop through the mailbox.
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
    unsigned restore(const LampState &wanted);

    // The INDI loop's thread.
    void toLoop(std::function<void()> job);
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
