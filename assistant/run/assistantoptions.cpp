#include "assistantoptions.h"

#include <QCommandLineParser>

namespace {

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
        QCommandLineOption(QStringLiteral("night"), QStringLiteral("With --gui, start in the night theme.")),
    };
}

// HOST:PORT, the host perhaps in brackets ("[::1]:7624"); nothing is written unless the whole text is right.
bool readHostPort(const QString &text, QString &host, int &port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    bool ok = false;
    const int readPort = text.mid(colon + 1).toInt(&ok);
    if (!ok || readPort <= 0 || readPort >= 65536)
        return false;
    QString readHost = text.left(colon);
    if (readHost.startsWith(QLatin1Char('[')) && readHost.endsWith(QLatin1Char(']')))
        readHost = readHost.mid(1, readHost.size() - 2);
    host = readHost;
    port = readPort;
    return true;
}

// Every check of the options, in the order the command line has always made them; each problem is noted and the
// reading goes on, so that the window gets every right value and hears of every wrong one.
class ArgumentReader
{
public:
    explicit ArgumentReader(const QStringList &arguments);
    AssistantArguments result() const { return read; }

private:
    void readFilters();
    void readDevices();
    void readSearch();
    void readSeconds(const char *name, double &value);
    void readTable();
    void readCapture();

    bool isSet(const char *name) const { return parser.isSet(QString::fromLatin1(name)); }
    QString value(const char *name) const { return parser.value(QString::fromLatin1(name)); }
    void wrong(const QString &text) { read.problems.append({text, false}); }
    void lacking(const QString &text) { read.problems.append({text, true}); }

    QCommandLineParser parser;
    AssistantArguments read;
    AssistantOptions &options = read.options;
};

ArgumentReader::ArgumentReader(const QStringList &arguments)
{
    parser.addOptions(programOptions());
    // An unknown option or a missing value is noted; the options around it are still read.
    if (!parser.parse(arguments))
        wrong(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        wrong(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first()));
    read.gui = isSet("gui");
    read.night = isSet("night");
    readFilters();
    readDevices();
    readSearch();
    readTable();
    readCapture();
    if (!options.watchDir.isEmpty() && options.filters.isEmpty())
        lacking(QStringLiteral("--watch needs --filters"));
}

void ArgumentReader::readFilters()
{
    options.filters = value("filters").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (QString &filter : options.filters)
        filter = filter.trimmed();
}

void ArgumentReader::readDevices()
{
    options.camera = value("camera");
    options.light = value("light");
    options.wheel = value("wheel");
    options.watchDir = value("watch");
    if (isSet("indi") && !readHostPort(value("indi"), options.indiHost, options.indiPort))
        wrong(QStringLiteral("--indi needs HOST:PORT, not \"%1\"").arg(value("indi")));
    if (isSet("alpaca") && !readHostPort(value("alpaca"), options.alpacaHost, options.alpacaPort))
        wrong(QStringLiteral("--alpaca needs HOST:PORT, not \"%1\"").arg(value("alpaca")));
    const QString frameSource = QStringLiteral("give either --camera or --watch");
    if (!options.camera.isEmpty() && !options.watchDir.isEmpty())
        wrong(frameSource);
    else if (options.camera.isEmpty() && options.watchDir.isEmpty())
        lacking(frameSource);
    if (options.light.isEmpty() && options.alpacaHost.isEmpty())
        lacking(QStringLiteral("give --light (or, with --watch, --alpaca)"));
    else if (!options.light.isEmpty() && !options.alpacaHost.isEmpty())
        wrong(QStringLiteral("give either --light or --alpaca"));
    if (!options.alpacaHost.isEmpty() && options.watchDir.isEmpty())
        wrong(QStringLiteral("--alpaca goes with --watch"));
}

void ArgumentReader::readSearch()
{
    flatsearch::Settings &search = options.search;
    readSeconds("exposure", search.exposure);
    readSeconds("min-exposure", search.minExposure);
    readSeconds("max-exposure", search.maxExposure);
    readSeconds("target", search.target);
    readSeconds("tolerance", search.tolerance);
    if (search.minExposure > search.maxExposure)
        wrong(QStringLiteral("--min-exposure is longer than --max-exposure"));
    if (search.target >= 1 || search.tolerance >= 1)
        wrong(QStringLiteral("--target and --tolerance are fractions below 1"));
}

void ArgumentReader::readSeconds(const char *name, double &seconds)
{
    if (!isSet(name))
        return;
    bool ok = false;
    const double number = value(name).toDouble(&ok);
    if (ok && number > 0)
        seconds = number;
    else
        wrong(QStringLiteral("--%1 needs a positive number, not \"%2\"").arg(QLatin1String(name), value(name)));
}

void ArgumentReader::readTable()
{
    options.tablePath = value("table");
    if (options.tablePath.isEmpty())
        lacking(QStringLiteral("give --table FILE.vfc"));
    if (isSet("camera-type")) {
        const QString type = value("camera-type").toUpper();
        if (type == QLatin1String("DSLR") || type == QLatin1String("CCD"))
            options.cameraType = type;
        else
            wrong(QStringLiteral("--camera-type is DSLR or CCD, not \"%1\"").arg(value("camera-type")));
    }
    options.isoBin = value("iso-bin").trimmed();
}

void ArgumentReader::readCapture()
{
    options.outDir = value("out");
    if (isSet("capture")) {
        bool ok = false;
        const int frames = value("capture").toInt(&ok);
        if (!ok || frames <= 0) {
            // What --out goes with is unknown then: the checks below would only repeat this one.
            wrong(QStringLiteral("--capture needs a whole number of frames, not \"%1\"").arg(value("capture")));
            return;
        }
        options.capture = frames;
    }
    if (isSet("out") && options.capture == 0)
        wrong(QStringLiteral("--out goes with --capture"));
    if (options.capture > 0 && !options.watchDir.isEmpty() && isSet("out"))
        wrong(QStringLiteral("--out goes with --camera: with --watch the capture program saves the frames"));
    if (options.capture > 0 && options.watchDir.isEmpty() && options.outDir.isEmpty())
        lacking(QStringLiteral("--capture needs --out DIR"));
}

} // namespace

QStringList AssistantArguments::errors() const
{
    QStringList texts;
    for (const Problem &problem : problems) {
        if (!problem.lacking)
            texts.append(problem.text);
    }
    return texts;
}

AssistantArguments parseAssistantArguments(const QStringList &arguments)
{
    return ArgumentReader(arguments).result();
}

void describeAssistantOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Finds, for each filter, the lamp level (and where needed the exposure) that gives a well-exposed flat, "
        "from test frames, and writes the results into a flat table."));
    parser.addOptions(programOptions());
}
