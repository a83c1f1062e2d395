#include "messages.h"

#include <cstdio>

namespace {
MessageCapture *active = nullptr;
QtMessageHandler forwardTo = nullptr;
}

MessageCapture::MessageCapture()
{
    m_previous = qInstallMessageHandler(&MessageCapture::handler);
    forwardTo = m_previous;
    active = this;
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(m_previous);
    active = nullptr;
}

QStringList MessageCapture::debugLines() const { return m_debug; }
QStringList MessageCapture::warnings() const { return m_warnings; }

void MessageCapture::clear()
{
    m_debug.clear();
    m_warnings.clear();
}

void MessageCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (active) {
        if (type == QtDebugMsg)
            active->m_debug.append(message);
        else if (type == QtWarningMsg)
            active->m_warnings.append(message);
    }
    if (forwardTo)
        forwardTo(type, context, message);
    else
        fprintf(stderr, "%s\n", qPrintable(message));
}
