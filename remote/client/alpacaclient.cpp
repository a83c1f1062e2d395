#include "alpacaclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <curl/curl.h>

#include <cstring>

namespace {
// A connect that makes the panel search for the box waits for that search.
constexpr long connectTimeoutMs = 30000;

size_t keepBody(char *data, size_t size, size_t count, void *body)
{
    static_cast<std::string *>(body)->append(data, size * count);
    return size * count;
}

void initialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
} // namespace

CalibratorReading readDeviceState(const AlpacaReply &reply)
{
    CalibratorReading reading;
    if (!reply.succeeded() || !reply.value.isArray())
        return reading;
    bool haveState = false;
    bool haveBrightness = false;
    for (const QJsonValue &item : reply.value.toArray()) {
        const QJsonObject entry = item.toObject();
        const QString name = entry.value(QStringLiteral("Name")).toString();
        if (name == QLatin1String("CalibratorState")) {
            reading.calibratorState = entry.value(QStringLiteral("Value")).toInt(4);
            haveState = true;
        } else if (name == QLatin1String("Brightness")) {
            reading.brightness = entry.value(QStringLiteral("Value")).toInt(0);
            haveBrightness = true;
        }
    }
    reading.valid = haveState && haveBrightness;
    return reading;
}

AlpacaClient::AlpacaClient(const QString &host, int port, quint32 clientId, int timeoutMs)
    : clientId(clientId)
    , timeoutMs(timeoutMs)
{
    initialiseCurlOnce();
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    url.setPort(port);
    url.setPath(QStringLiteral("/api/v1/covercalibrator/0/"));
    base = url.toString().toStdString();
    thread = std::thread([this] { loop(); });
}

AlpacaClient::~AlpacaClient()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        jobs.clear();
    }
    wake.notify_all();
    thread.join();
}

void AlpacaClient::run(std::function<void()> job, int delayMs)
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (stopping)
            return;
        jobs.emplace(std::make_pair(Clock::now() + std::chrono::milliseconds(delayMs), ++jobCounter), std::move(job));
    }
    wake.notify_all();
}

void AlpacaClient::loop()
{
    curl = curl_easy_init();
    std::unique_lock<std::mutex> lock(mutex);
    while (!stopping) {
        if (jobs.empty()) {
            wake.wait(lock);
            continue;
        }
        const auto next = jobs.begin();
        const Clock::time_point due = next->first.first; // a copy: the job may go while this waits
        if (due > Clock::now()) {
            wake.wait_until(lock, due);
            continue;
        }
        std::function<void()> job = std::move(next->second);
        jobs.erase(next);
        lock.unlock();
        job();
        lock.lock();
    }
    lock.unlock();
    curl_easy_cleanup(curl);
    curl = nullptr;
}

void AlpacaClient::get(const QString &member, const std::function<void(const AlpacaReply &)> &then)
{
    then(send(false, member, QUrlQuery()));
}

void AlpacaClient::put(const QString &member, QUrlQuery form, const std::function<void(const AlpacaReply &)> &then)
{
    then(send(true, member, std::move(form)));
}

AlpacaReply AlpacaClient::send(bool isPut, const QString &member, QUrlQuery fields)
{
    fields.addQueryItem(QStringLiteral("ClientID"), QString::number(clientId));
    fields.addQueryItem(QStringLiteral("ClientTransactionID"), QString::number(++transaction));
    const std::string encoded = fields.toString(QUrl::FullyEncoded).toStdString();
    const std::string url = base + member.toStdString() + (isPut ? std::string() : "?" + encoded);
    std::string body;
    char failure[CURL_ERROR_SIZE] = {};
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TCP_NODELAY, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, failure);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, keepBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    const bool connecting = isPut && member == QLatin1String("connected");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, connecting ? connectTimeoutMs : timeoutMs);
    if (isPut) {
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PUT");
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, encoded.c_str()); // sent as application/x-www-form-urlencoded
    }
    AlpacaReply reply;
    const CURLcode result = curl_easy_perform(curl);
    if (result != CURLE_OK) {
        long systemError = 0;
        curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &systemError);
        reply.errorMessage = QString::fromUtf8(systemError != 0 ? std::strerror(int(systemError))
                                               : failure[0]        ? failure
                                                                   : curl_easy_strerror(result));
        return reply;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    reply.reached = true;
    reply.httpStatus = int(status);
    const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
    reply.errorNumber = object.value(QStringLiteral("ErrorNumber")).toInt(-1);
    reply.errorMessage = object.value(QStringLiteral("ErrorMessage")).toString();
    reply.value = object.value(QStringLiteral("Value"));
    if (status != 200 && reply.errorMessage.isEmpty())
        reply.errorMessage = QString::fromStdString(body.substr(0, 200));
    return reply;
}
