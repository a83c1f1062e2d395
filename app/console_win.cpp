#include "console.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <windows.h>

#include <cstdio>

namespace {

bool consoleAttached = false;

bool leadsSomewhere(DWORD stream)
{
    const HANDLE handle = ::GetStdHandle(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void writeToStandardError(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    const QByteArray line = qFormatLogMessage(type, context, message).toLocal8Bit() + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stderr);
    std::fflush(stderr);
}

} // namespace

// A console also when the output is redirected: Ctrl-C, Ctrl-Break, the console's close, a log-off and a
// shut-down reach only a program that has one.
void useConsoleOfItsOwn()
{
    const bool redirected = leadsSomewhere(STD_ERROR_HANDLE) && leadsSomewhere(STD_OUTPUT_HANDLE);
    if (!::AttachConsole(ATTACH_PARENT_PROCESS) && !::AllocConsole())
        return;
    consoleAttached = true;
    if (redirected)
        return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}

void routeDebugLines()
{
    if (consoleAttached || leadsSomewhere(STD_ERROR_HANDLE))
        qInstallMessageHandler(writeToStandardError);
}
