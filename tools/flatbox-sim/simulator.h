// Serves the box's command set on a pseudo-terminal, with the faults that the options ask for.
#pragma once

#include "flatbox.h"
#include "options.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <vector>
#include <random>
#include <string>

class Simulator
{
public:
    using Clock = std::chrono::steady_clock;

    // stopFd becomes readable when the simulator must end; inputFd (or -1) ends it at end of file.
    Simulator(const SimOptions &options, int stopFd, int inputFd);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    bool openLine(std::string &error);
    bool openLog(std::string &error);
    const std::string &devicePath() const { return slavePath; }
    void run();

private:
    void handleControlInput(int fd);
    bool pollOnce(const Clock::time_point *deadline, short masterEvents, short *masterReady);
    bool waitUntil(Clock::time_point deadline);
    bool writeAll(const char *data, std::size_t size);
    void readFromLine();
    void watchOpens();
    void handleOpens();
    void portOpened(Clock::time_point now);
    void takeByte(char byte, Clock::time_point now);
    void lineByte(char byte, Clock::time_point now);
    bool endsCommand(char byte) const;
    void serviceFirmware(Clock::time_point now);
    void drainingRead(Clock::time_point now);
    const Clock::time_point *nextWake();
    std::string commandIn(const std::string &text) const;
    void handleLine(const std::string &line, std::size_t wireBytes, Clock::time_point arrival);
    std::string withFaults(const std::string &reply);
    std::string garbled(const std::string &reply);
    void deliver(const std::string &reply, std::size_t commandBytes, Clock::time_point arrival, long latencyMs);
    Clock::duration lineTime(std::size_t bytes) const;
    void awaitClientRead();
    void unplug();
    void logLine(const std::string &line, const char *note);

    const SimOptions options;
    FlatBox box;
    const int stopFd;
    int inputFd;
    int masterFd = -1;
    // The simulator keeps the pty's slave side open itself, so the line stays up between
    // the clients' opens and closes and only an unplug hangs it up.
    int slaveFd = -1;
    std::string slavePath;
    bool stopping = false;

    std::string pending;
    bool pendingTooLong = false;
    Clock::time_point pendingSince;

    // Each open of the port resets the board: deaf until bootEnd, reading from readyAt.
    bool opened = false;
    Clock::time_point bootEnd;
    Clock::time_point readyAt;
    std::string deafLine;   // what the boot loader let pass by, for the log
    std::string held;       // input the firmware has not read yet
    std::vector<Clock::time_point> heldAt; // when each byte of it was received
    bool reading = false;   // a draining firmware waits for its terminator since readStart
    Clock::time_point readStart;
    Clock::time_point wake;
    // Late replies, each with the time it is due.
    std::deque<std::pair<Clock::time_point, std::string>> due;
    void sendDue(Clock::time_point now);
    bool writeReply(const std::string &reply);
    int inotifyFd = -1;
    int clients = 0;        // opens of the port by others than the simulator

    std::map<char, long> dropsLeft;
    long commandCount = 0;
    long faultCount = 0;
    std::mt19937 randomBytes;
    std::FILE *logFile = nullptr;
    const Clock::time_point startTime;
};
