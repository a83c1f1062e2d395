#include "alpacaclient.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QUrl>

namespace {
// One exchange with the panel: the reply comes at once, what the box does is read afterwards.
constexpr int transferTimeoutMs = 3000;
// A connect that makes the panel search for the box waits for that search.
constexpr int connectTimeoutMs = 30000;
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

AlpacaClient::AlpacaClient(const QString &host, int port, quint32 clientId)
    : clientId(clientId)
{
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    url.setPort(port);
    url.setPath(QStringLiteral("/api/v1/covercalibrator/0/"));
    base = url.toString();
    thread = new QThread;
    context = new QObject;
    context->moveToThread(thread);
    thread->start();
    run([this] { network = new QNetworkAccessManager; });
}

AlpacaClient::~AlpacaClient()
{
    QMetaObject::invokeMethod(
        context,
        [this] {
            delete network;
            network = nullptr;
            delete context;
        },
        Qt::BlockingQueuedConnection);
    thread->quit();
    thread->wait();
    delete thread;
}

void AlpacaClient::run(std::function<void()> job)
{
    QMetaObject::invokeMethod(context, std::move(job), Qt::QueuedConnection);
}

void AlpacaClient::get(const QString &member, std::function<void(const AlpacaReply &)> then)
{
    send("GET", member, QUrlQuery(), std::move(then));
}

void AlpacaClient::put(const QString &member, QUrlQuery form, std::function<void(const AlpacaReply &)> then)
{
    send("PUT", member, std::move(form), std::move(then));
}

void AlpacaClient::send(const QByteArray &verb, const QString &member, QUrlQuery fields,
                        std::function<void(const AlpacaReply &)> then)
{
    fields.addQueryItem(QStringLiteral("ClientID"), QString::number(clientId));
    fields.addQueryItem(QStringLiteral("ClientTransactionID"), QString::number(++transaction));
    QUrl url(base + member);
    QNetworkRequest request;
    request.setTransferTimeout(member == QLatin1String("connected") && verb == "PUT" ? connectTimeoutMs
                                                                                    : transferTimeoutMs);
    QByteArray body;
    if (verb == "GET") {
        url.setQuery(fields);
    } else {
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
        body = fields.toString(QUrl::FullyEncoded).toUtf8();
    }
    request.setUrl(url);
    QNetworkReply *reply = network->sendCustomRequest(request, verb, body);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, then = std::move(then)] {
        AlpacaReply result;
        const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        result.reached = status.isValid();
        result.httpStatus = status.toInt();
        const QByteArray body = reply->readAll();
        if (!result.reached) {
            result.errorMessage = reply->errorString();
        } else {
            const QJsonObject object = QJsonDocument::fromJson(body).object();
            result.errorNumber = object.value(QStringLiteral("ErrorNumber")).toInt(-1);
            result.errorMessage = object.value(QStringLiteral("ErrorMessage")).toString();
            result.value = object.value(QStringLiteral("Value"));
            if (result.httpStatus != 200 && result.errorMessage.isEmpty())
                result.errorMessage = QString::fromUtf8(body.left(200));
        }
        reply->deleteLater();
        then(result);
    });
}
