#include "commandline.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const int usageError = 2;

// Ctrl-C and SIGTERM reach the event loop through a socket pair.
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void catchStopSignals(FlatAssistant &assistant)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &assistant);
    QObject::connect(notifier, &QSocketNotifier::activated, &assistant, [&assistant, notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        assistant.stop();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

} // namespace

bool readArguments(const QStringList &arguments, AssistantOptions &options, QString &error)
{
    const AssistantArguments read = parseAssistantArguments(arguments);
    if (!read.problems.isEmpty()) {
        error = read.problems.first().text;
        return false;
    }
    options = read.options;
    return true;
}

int windowNotBuilt()
{
    QTextStream(stderr) << "velmora-flat-assistant: this build has no window\n";
    return usageError;
}

int runCommandLine(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velmora-flat-assistant"));
    QCoreApplication::setOrganizationName(QStringLiteral("velmora"));
    QTextStream err(stderr);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))
        || arguments.contains(QStringLiteral("--help-all"))) {
        QCommandLineParser parser;
        describeAssistantOptions(parser);
        parser.addHelpOption();
        parser.process(arguments);
    }
    AssistantOptions options;
    QString error;
    if (!readArguments(arguments, options, error)) {
        err << "velmora-flat-assistant: " << error << '\n';
        return usageError;
    }

    FlatAssistant assistant;
    assistant.setOptions(options);
    QTextStream out(stdout);
    QObject::connect(&assistant, &FlatAssistant::progressLine, [&err](const QString &line) {
        err << line << '\n';
        err.flush();
    });
    QObject::connect(&assistant, &FlatAssistant::filterFinished, [&out](const FilterResult &result) {
        out << result.reportLine() << '\n';
        out.flush();
    });
    QObject::connect(&assistant, &FlatAssistant::stateChanged, &application, [&](FlatAssistant::State state) {
        if (FlatAssistant::isFinished(state))
            QCoreApplication::exit(assistant.exitCode());
    });
    catchStopSignals(assistant);
    assistant.start();
    const int status = FlatAssistant::isFinished(assistant.state()) ? assistant.exitCode() : application.exec();
    if (!assistant.errorText().isEmpty())
        err << "velmora-flat-assistant: " << assistant.errorText() << '\n';
    return status;
}
