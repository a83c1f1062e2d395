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

QList<QCommandLineOption> programOptions()
{
    auto valued = [](const char *name, const char *text, const char *valueName) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(text), QString::fromLatin1(valueName));
    };
    return {
        valued("indi", "INDI server (default 127.0.0.1:7624).", "HOST:PORT"),
        valued("camera", "INDI camera that takes the test frames.", "NAME"),
        valued("light", "INDI light box (FLAT_LIGHT_CONTROL and FLAT_LIGHT_INTENSITY).", "NAME"),
        valued("wheel", "INDI filter wheel (optional).", "NAME"),
        valued("filters", "Filters as the wheel names them (default: every filter of the wheel).", "A,B,..."),
        valued("watch", "Folder where a capture program writes the test frames (instead of --camera).", "DIR"),
        valued("alpaca", "Alpaca CoverCalibrator that takes the level (instead of --light, with --watch).",
               "HOST:PORT"),
        valued("exposure", "Flat exposure in seconds, held unless no level reaches the target (default 2).", "S"),
        valued("min-exposure", "Shortest exposure in seconds (default 0.5).", "S"),
        valued("max-exposure", "Longest exposure in seconds (default 60).", "S"),
        valued("target", "Target median as a fraction of full scale (default 0.5).", "F"),
        valued("tolerance", "Tolerance relative to the target (default 0.05).", "F"),
        valued("table", "Flat table file the results go to.", "FILE.vfc"),
        valued("camera-type", "Camera type of the table lines: DSLR or CCD (default CCD).", "TYPE"),
        valued("iso-bin", "ISO or binning of the table lines (default: the camera's binning).", "TEXT"),
        valued("capture", "Take N flats per filter at the level found, then N flat-darks per exposure (with --watch: "
                          "list them to take).", "N"),
        valued("out", "Folder the flat set goes to: a folder per filter and \"darks\".", "DIR"),
        QCommandLineOption(QStringLiteral("gui"), QStringLiteral("Open the window.")),
        // ---- read by the window (assistant/gui) ----
        QCommandLineOption(QStringLiteral("night"), QStringLiteral("With --gui, start in the night theme.")),
    };
}

bool readHostPort(const QString &text, QString &host, int &port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    port = text.mid(colon + 1).toInt(&ok);
    host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    return ok && port > 0 && port < 65536;
}

bool readSeconds(const QCommandLineParser &parser, const char *name, double &value, QString &error)
{
    const QString option = QString::fromLatin1(name);
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const double read = parser.value(option).toDouble(&ok);
    if (!ok || !(read > 0)) {
        error = QStringLiteral("--%1 needs a positive number, not \"%2\"").arg(option, parser.value(option));
        return false;
    }
    value = read;
    return true;
}

bool readDevices(const QCommandLineParser &parser, AssistantOptions &options, QString &error)
{
    options.camera = parser.value(QStringLiteral("camera"));
    options.light = parser.value(QStringLiteral("light"));
    options.wheel = parser.value(QStringLiteral("wheel"));
    options.watchDir = parser.value(QStringLiteral("watch"));
    if (parser.isSet(QStringLiteral("indi"))
        && !readHostPort(parser.value(QStringLiteral("indi")), options.indiHost, options.indiPort)) {
        error = QStringLiteral("--indi needs HOST:PORT, not \"%1\"").arg(parser.value(QStringLiteral("indi")));
        return false;
    }
    if (parser.isSet(QStringLiteral("alpaca"))
        && !readHostPort(parser.value(QStringLiteral("alpaca")), options.alpacaHost, options.alpacaPort)) {
        error = QStringLiteral("--alpaca needs HOST:PORT, not \"%1\"").arg(parser.value(QStringLiteral("alpaca")));
        return false;
    }
    if (options.camera.isEmpty() == options.watchDir.isEmpty()) {
        error = QStringLiteral("give either --camera or --watch");
        return false;
    }
    if (options.light.isEmpty() == options.alpacaHost.isEmpty()) {
        error = options.light.isEmpty() ? QStringLiteral("give --light (or, with --watch, --alpaca)")
                                        : QStringLiteral("give either --light or --alpaca");
        return false;
    }
    if (!options.alpacaHost.isEmpty() && options.watchDir.isEmpty()) {
        error = QStringLiteral("--alpaca goes with --watch");
        return false;
    }
    return true;
}

bool readSearch(const QCommandLineParser &parser, AssistantOptions &options, QString &error)
{
    flatsearch::Settings &search = options.search;
    if (!readSeconds(parser, "exposure", search.exposure, error) || !readSeconds(parser, "min-exposure", search.minExposure, error)
        || !readSeconds(parser, "max-exposure", search.maxExposure, error) || !readSeconds(parser, "target", search.target, error)
        || !readSeconds(parser, "tolerance", search.tolerance, error))
        return false;
    if (search.minExposure > search.maxExposure) {
        error = QStringLiteral("--min-exposure is longer than --max-exposure");
        return false;
    }
    if (search.target >= 1 || search.tolerance >= 1) {
        error = QStringLiteral("--target and --tolerance are fractions below 1");
        return false;
    }
    return true;
}

bool readTable(const QCommandLineParser &parser, AssistantOptions &options, QString &error)
{
    options.tablePath = parser.value(QStringLiteral("table"));
    if (options.tablePath.isEmpty()) {
        error = QStringLiteral("give --table FILE.vfc");
        return false;
    }
    if (parser.isSet(QStringLiteral("camera-type"))) {
        const QString type = parser.value(QStringLiteral("camera-type")).toUpper();
        if (type != QLatin1String("DSLR") && type != QLatin1String("CCD")) {
            error = QStringLiteral("--camera-type is DSLR or CCD, not \"%1\"").arg(parser.value(QStringLiteral("camera-type")));
            return false;
        }
        options.cameraType = type;
    }
    options.isoBin = parser.value(QStringLiteral("iso-bin")).trimmed();
    return true;
}

bool readCapture(const QCommandLineParser &parser, AssistantOptions &options, QString &error)
{
    options.outDir = parser.value(QStringLiteral("out"));
    if (parser.isSet(QStringLiteral("capture"))) {
        bool ok = false;
        options.capture = parser.value(QStringLiteral("capture")).toInt(&ok);
        if (!ok || options.capture <= 0) {
            error = QStringLiteral("--capture needs a whole number of frames, not \"%1\"")
                        .arg(parser.value(QStringLiteral("capture")));
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("out")) && options.capture == 0) {
        error = QStringLiteral("--out goes with --capture");
        return false;
    }
    if (options.capture > 0 && !options.watchDir.isEmpty() && parser.isSet(QStringLiteral("out"))) {
        error = QStringLiteral("--out goes with --camera: with --watch the capture program saves the frames");
        return false;
    }
    if (options.capture > 0 && options.watchDir.isEmpty() && options.outDir.isEmpty()) {
        error = QStringLiteral("--capture needs --out DIR");
        return false;
    }
    return true;
}

void fillParser(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Finds, for each filter, the lamp level (and where needed the exposure) that gives a well-exposed flat, "
        "from test frames, and writes the results into a flat table."));
    parser.addOptions(programOptions());
}

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
    QCommandLineParser parser;
    fillParser(parser);
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }
    const QString filters = parser.value(QStringLiteral("filters"));
    options.filters = filters.split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &filter : options.filters)
        filter = filter.trimmed();
    if (!readDevices(parser, options, error) || !readSearch(parser, options, error)
        || !readTable(parser, options, error) || !readCapture(parser, options, error))
        return false;
    if (!options.watchDir.isEmpty() && options.filters.isEmpty()) {
        error = QStringLiteral("--watch needs --filters");
        return false;
    }
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
        fillParser(parser);
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
