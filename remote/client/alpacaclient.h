// An Alpaca CoverCalibrator client (libcurl), on a thread of its own that runs queued and timed jobs; requests and
// their callbacks run on that thread. The INDI driver reaches the running panel with it; the flat assistant's
// AlpacaLight is built on it. Small PUTs go out in one packet, without a delayed ACK's wait.
#pragma once

#include <QJsonValue>
#include <QString>
#include <QUrlQuery>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

struct AlpacaReply
{
    bool reached = false;   // an HTTP reply came back
    int httpStatus = 0;
    int errorNumber = -1;   // ASCOM ErrorNumber; 0 is success
    QString errorMessage;   // the server's ErrorMessage, or what went wrong on the way (the system's words, e.g.
                            // "Connection refused", where it said them)
    QJsonValue value;

    bool succeeded() const { return reached && httpStatus == 200 && errorNumber == 0; }
};

// The lamp as the CoverCalibrator's devicestate gives it.
struct CalibratorReading
{
    bool valid = false;
    int calibratorState = 4; // ASCOM: 1 off, 2 not ready, 3 ready, 5 error
    int brightness = 0;
};
CalibratorReading readDeviceState(const AlpacaReply &reply);

class AlpacaClient
{
public:
    // A request waits `timeoutMs` for its reply; a PUT of `connected` (which may make the panel search for the box)
    // waits 30 s.
    AlpacaClient(const QString &host, int port, quint32 clientId, int timeoutMs = 1000);
    // Drops the jobs still waiting and ends the thread (a request under way ends first).
    ~AlpacaClient();
    AlpacaClient(const AlpacaClient &) = delete;
    AlpacaClient &operator=(const AlpacaClient &) = delete;

    // Any thread: runs `job` on the client's thread, at once or after `delayMs`.
    void run(std::function<void()> job, int delayMs = 0);

    // The client's thread: one request to a member of device 0; `then` gets the reply when it has come.
    void get(const QString &member, const std::function<void(const AlpacaReply &)> &then);
    void put(const QString &member, QUrlQuery form, const std::function<void(const AlpacaReply &)> &then);

private:
    using Clock = std::chrono::steady_clock;
    void loop();
    AlpacaReply send(bool isPut, const QString &member, QUrlQuery fields);

    std::string base;
    quint32 clientId;
    long timeoutMs;
    quint32 transaction = 0;
    void *curl = nullptr; // the client's thread's handle: its connection is kept alive between requests

    std::mutex mutex;
    std::condition_variable wake;
    std::multimap<std::pair<Clock::time_point, quint64>, std::function<void()>> jobs;
    quint64 jobCounter = 0;
    bool stopping = false;
    std::thread thread;
};
