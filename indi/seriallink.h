// The box on a serial port, through the device library. Library calls block the INDI loop for one exchange
// at most (the library's 500 ms per command), except connect.
#pragma once

#include "boxlink.h"

#include "velmora/flat.h"

#include <deque>
#include <memory>
#include <sys/types.h>

class LoopMailbox;

class SerialLink : public BoxLink
{
public:
    SerialLink(const std::string &port, LoopMailbox &mailbox, BoxLinkEvents &events);
    ~SerialLink() override;

    bool open(LampState &state, std::string &product, std::string &firmware, std::string &dialect,
              std::string &error) override;
    void close() override;
    void setLamp(bool on, unsigned level, Done done) override;
    void setLevel(unsigned level, Done done) override;

private:
    // What a port's path leads to: a new node or a new target of a link means a box plugged in again.
    struct PortNode
    {
        bool exists = false;
        ino_t linkInode = 0;
        ino_t inode = 0;
        dev_t device = 0;
        bool operator==(const PortNode &other) const;
    };
    PortNode currentNode() const;

    void enqueue(std::function<void()> command);
    void finish();
    void attemptTurnOn(int attemptsLeft, Done done);
    void failed(unsigned status, const char *what, const Done &done);
    void boxGone();
    void startWatch();
    void stopWatch();
    void watchPort();
    bool restore();
    static void watchTick(void *self);
    static void retryTick(void *self);

    std::string port;
    LoopMailbox &mailbox;
    BoxLinkEvents &events;
    velmora::Flat flat;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
    LampState last;
    bool connected = false;
    bool lost = false;
    PortNode nodeAtLoss;
    int watchTimer = -1;
    int retryTimer = -1;
    std::function<void()> retry;
    std::deque<std::function<void()>> queue;
    bool running = false;
};
