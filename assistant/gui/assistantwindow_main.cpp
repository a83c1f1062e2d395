#include "assistantwindow_main.h"

#include "assistanttranslation.h"
#include "assistantwindow.h"

#include <QApplication>

#include <algorithm>
#include <QCommandLineParser>

namespace {

struct WindowArguments
{
    AssistantOptions options;
    bool night = false;
};

void readHostPort(const QString &text, AssistantOptions &options)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) {
        options.indiHost = text;
        return;
    }
    options.indiHost = text.left(colon);
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    if (ok)
        options.indiPort = port;
}

// The run options the window shows at first; the command line program checks them, the window only takes them in.
WindowArguments readArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    const QStringList valued = {"indi", "camera", "light", "wheel", "filters", "exposure", "min-exposure",
                                "max-exposure", "target", "tolerance", "table", "camera-type", "iso-bin",
                                "watch", "alpaca", "capture", "out"};
    for (const QString &name : valued)
        parser.addOption(QCommandLineOption(name, QString(), QStringLiteral("value")));
    parser.addOption(QCommandLineOption(QStringLiteral("night")));
    parser.addOption(QCommandLineOption(QStringLiteral("gui")));
    parser.parse(arguments);

    WindowArguments read;
    AssistantOptions &options = read.options;
    const auto number = [&parser](const char *name, double fallback) {
        bool ok = false;
        const double value = parser.value(QLatin1String(name)).toDouble(&ok);
        return ok ? value : fallback;
    };
    if (parser.isSet(QStringLiteral("indi")))
        readHostPort(parser.value(QStringLiteral("indi")), options);
    options.camera = parser.value(QStringLiteral("camera"));
    options.light = parser.value(QStringLiteral("light"));
    options.wheel = parser.value(QStringLiteral("wheel"));
    if (parser.isSet(QStringLiteral("filters")))
        options.filters = parser.value(QStringLiteral("filters")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    options.search.exposure = number("exposure", options.search.exposure);
    options.search.minExposure = number("min-exposure", options.search.minExposure);
    options.search.maxExposure = number("max-exposure", options.search.maxExposure);
    options.search.target = number("target", options.search.target);
    options.search.tolerance = number("tolerance", options.search.tolerance);
    options.tablePath = parser.value(QStringLiteral("table"));
    if (parser.isSet(QStringLiteral("camera-type")))
        options.cameraType = parser.value(QStringLiteral("camera-type"));
    options.isoBin = parser.value(QStringLiteral("iso-bin"));
    options.capture = std::max(0, parser.value(QStringLiteral("capture")).toInt());
    options.outDir = parser.value(QStringLiteral("out"));
    read.night = parser.isSet(QStringLiteral("night"));
    return read;
}

} // namespace

int runAssistantWindow(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (assistanttranslation::panelSpeaksItalian())
        assistanttranslation::install(app, assistanttranslation::italianFile());
    const WindowArguments arguments = readArguments(QApplication::arguments());

    FlatAssistant assistant;
    AssistantWindow window(&assistant);
    window.setOptions(arguments.options);
    window.setNightTheme(arguments.night);
    window.show();
    return app.exec();
}
