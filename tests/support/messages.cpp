#include "messages.h"

#include <QDebug>

#include <QList>
#include <QMutex>

#include <cstdio>

namespace {
// Every live capture records every message; captures may nest (makeWindow() holds one of its own).
QList<MessageCapture *> captures;
// The box's controller writes its lines on its worker thread.
QMutex capturing;
QtMessageHandler forwardTo = nullptr; // the handler that was installed before the outermost capture
}

MessageCapture::MessageCapture()
{
    m_previous = qInstallMessageHandler(&MessageCapture::handler);
    if (captures.isEmpty())
        forwardTo = m_previous;
    const QMutexLocker lock(&capturing);
    captures.append(this);
}

MessageCapture::~MessageCapture()
{
    {
        const QMutexLocker lock(&capturing);
        captures.removeOne(this);
    }
    if (captures.isEmpty())
        qInstallMessageHandler(forwardTo);
}

QStringList MessageCapture::debugLines() const
{
    const QMutexLocker lock(&capturing);
    return m_debug;
}

QStringList MessageCapture::warnings() const
{
    const QMutexLocker lock(&capturing);
    return m_warnings;
}

void MessageCapture::clear()
{
    const QMutexLocker lock(&capturing);
    m_debug.clear();
    m_warnings.clear();
}

void MessageCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QMutexLocker lock(&capturing);
    for (MessageCapture *capture : qAsConst(captures)) {
        if (type == QtDebugMsg)
            capture->m_debug.append(message);
        else if (type == QtWarningMsg)
            capture->m_warnings.append(message);
    }
    if (forwardTo)
        forwardTo(type, context, message);
    else
        fprintf(stderr, "%s\n", qPrintable(message));
}

QString debugQuoted(const QString &text)
{
    QString shown;
    QDebug(&shown).nospace() << text;
    return shown;
}
