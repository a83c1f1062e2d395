// An Alpaca CoverCalibrator client of the running panel, on a thread of its own with its own Qt event loop.
// Its callbacks run on that thread.
#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QUrlQuery>

#include <functional>

class QNetworkAccessManager;
class QObject;
class QThread;

struct AlpacaReply
{
    bool reached = false;   // an HTTP reply came back
    int httpStatus = 0;
    int errorNumber = -1;   // ASCOM ErrorNumber; 0 is success
    QString errorMessage;   // the server's ErrorMessage, or what went wrong on the way
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
    AlpacaClient(const QString &host, int port, quint32 clientId);
    ~AlpacaClient();
    AlpacaClient(const AlpacaClient &) = delete;
    AlpacaClient &operator=(const AlpacaClient &) = delete;

    // Any thread: runs `job` on the client's thread.
    void run(std::function<void()> job);

    // The client's thread: one request to a member of device 0; `then` gets the reply on this thread.
    void get(const QString &member, std::function<void(const AlpacaReply &)> then);
    void put(const QString &member, QUrlQuery form, std::function<void(const AlpacaReply &)> then);

private:
    void send(const QByteArray &verb, const QString &member, QUrlQuery fields,
              std::function<void(const AlpacaReply &)> then);

    QString base;
    quint32 clientId;
    quint32 transaction = 0;
    QThread *thread = nullptr;
    QObject *context = nullptr; // lives on `thread`: what runs there is queued to it
    QNetworkAccessManager *network = nullptr;
};
