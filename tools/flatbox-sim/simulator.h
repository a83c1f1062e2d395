// Serves the box's command set on a pseudo-terminal, with the faults that the options ask for.
#pragma once

#include "flatbox.h"
#include "options.h"

#include <chrono>
#include <cstdio>
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
    void takeByte(char byte, Clock::time_point now);
    void handleLine(const std::string &line, std::size_t wireBytes, Clock::time_point arrival);
    std::string withFaults(const std::string &reply);
    std::string garbled(const std::string &reply);
    void deliver(const std::string &reply, std::size_t commandBytes, Clock::time_point arrival);
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

    bool booting = false;
    bool bootDone = false;
    Clock::time_point bootEnd;

    long commandCount = 0;
    long faultCount = 0;
    std::mt19937 randomBytes;
    std::FILE *logFile = nullptr;
    const Clock::time_point startTime;
};
