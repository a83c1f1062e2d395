// An HTTP client for the Alpaca server tests: real requests on loopback, run on a thread of their own.
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QString>

struct HttpReply
{
    int status = 0; // 0: no reply
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    int errorNumber() const { return json().value(QStringLiteral("ErrorNumber")).toInt(-1); }
    QJsonValue value() const { return json().value(QStringLiteral("Value")); }
};

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// "GET /path?query" or "PUT /path" with a form body, waiting without running this thread's event loop.
HttpReply httpCall(int port, const QString &line, const QString &form = QString(), const HttpHeaders &headers = {});
// The same while this thread's event loop runs, for commands the window's thread has to carry out.
HttpReply httpCallSpinning(int port, const QString &line, const QString &form = QString(),
                           const HttpHeaders &headers = {});

// The device API path of a member: "/api/v1/covercalibrator/0/<member>".
QString device(const QString &member);
