#include "alpacaclient.h"

#include <httplib.h>

#include <QtTest>

#include <future>

namespace {

HttpReply call(int port, const QString &line, const QString &form, const HttpHeaders &headers)
{
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(5);
    client.set_read_timeout(40);
    httplib::Headers sent;
    for (const auto &header : headers)
        sent.emplace(header.first.toStdString(), header.second.toStdString());
    const std::string method = line.section(QLatin1Char(' '), 0, 0).toStdString();
    const std::string path = line.section(QLatin1Char(' '), 1).toStdString();
    httplib::Result result =
        method == "GET" ? client.Get(path.c_str(), sent)
                        : client.Put(path.c_str(), sent, form.toStdString(), "application/x-www-form-urlencoded");
    HttpReply reply;
    if (result) {
        reply.status = result->status;
        reply.body = QByteArray::fromStdString(result->body);
    }
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
