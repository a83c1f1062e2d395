#pragma once

// Captures the program's debug lines while it lives, and passes every message on to the test framework.

#include <QString>
#include <QStringList>
#include <QtGlobal>

// A text as a debug line shows it: quoted, with its backslashes and quotes escaped (a Windows registry path).
QString debugQuoted(const QString &text);

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
