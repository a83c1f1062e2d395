#include "alpacaclient.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <QtTest>

#include <future>

namespace {

// One request on a connection of its own, on the calling thread (with an event loop of its own).
HttpReply call(int port, const QString &line, const QString &form, const HttpHeaders &headers)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(line.section(QLatin1Char(' '), 1))));
    for (const auto &header : headers)
        request.setRawHeader(header.first, header.second);
    const bool get = line.startsWith(QLatin1String("GET "));
    if (!get)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *sent = get ? manager.get(request) : manager.put(request, form.toUtf8());
    QEventLoop loop;
    QObject::connect(sent, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(40000, &loop, &QEventLoop::quit);
    loop.exec();
    HttpReply reply;
    if (sent->isFinished()) {
        reply.status = sent->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply.body = sent->readAll();
    }
    delete sent;
    return reply;
}

} // namespace

HttpReply httpCall(int port, const QString &line, const QString &form, const HttpHeaders &headers)
{
    return std::async(std::launch::async, call, port, line, form, headers).get();
}

HttpReply httpCallSpinning(int port, const QString &line, const QString &form, const HttpHeaders &headers)
{
    std::future<HttpReply> reply = std::async(std::launch::async, call, port, line, form, headers);
    const bool answered = QTest::qWaitFor(
        [&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60000);
    return answered ? reply.get() : HttpReply();
}

QString device(const QString &member)
{
    return QStringLiteral("/api/v1/covercalibrator/0/") + member;
}
