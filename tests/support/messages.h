#pragma once

// Captures the program's debug lines while it lives, and passes every message on to the test framework.

#include <QStringList>
#include <QtGlobal>

class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    QStringList debugLines() const;
    QStringList warnings() const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    QtMessageHandler m_previous;
    QStringList m_debug;
    QStringList m_warnings;
};
