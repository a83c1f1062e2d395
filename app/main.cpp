#include "alpacaservice.h"
#include "boxcontroller.h"
#include "boxwatcher.h"
#include "console.h"
#include "headless.h"
#include "highdensity.h"
#include "serialports.h"
#include "startup.h"
#include "unsavedtable.h"
#include "velmoraflat.h"
#include "windowending.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QSettings>

#include <cstring>
#include <memory>

namespace {

// Decided before any application object exists: a server without a window (and --help, --version) must not
// need a display.
bool wantsNoDisplay(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i)
        for (const char *option : {"--headless", "--help", "-h", "--help-all", "--version", "-v"})
            if (std::strcmp(argv[i], option) == 0)
                return true;
    return false;
}

void describeOptions(QCommandLineParser &parser, const QCommandLineOption &headless)
{
    parser.setApplicationDescription(QStringLiteral(
        "Control panel of the VELMORA flat field generator, with its ASCOM Alpaca server.\n"
        "With --headless no window opens: the Alpaca server serves the box without a display, connects it at start "
        "when automatic search is on, shows a lost box's return in its log, and on SIGTERM, SIGINT or SIGHUP "
        "switches the lamp off and disconnects the box before it ends, as the window does."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(headless);
}

int runWindow(QApplication &app)
{
    QSettings settings;
    const QString autoSearch = readAutoSearchPreference(settings);

    // The box's controller outlives its front ends: the window, the lost-box watch and the Alpaca server.
    BoxController controller;
    WindowEnding ending; // from here on, SIGTERM, SIGINT and SIGHUP end the window as its close does
    VelmoraFlat window(nullptr, autoSearch, controller);
    watchForLostBox(controller);
    guardUnsavedTable(window);
    ending.watch(window);
    window.setWindowTitle(mainWindowTitle());
    window.show();
    const auto alpacaServer = startAlpacaServer(controller);
    return app.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    startSerialPortListing();
    const bool noDisplay = wantsNoDisplay(argc, argv);
    if (noDisplay)
        useConsoleOfItsOwn();
    routeDebugLines();
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Serve the box to Alpaca clients without a window or a display."));
    if (noDisplay) {
        QCoreApplication app(argc, argv);
        setApplicationIdentity();
        QCommandLineParser parser;
        describeOptions(parser, headless);
        parser.process(app);
        BoxController controller;
        return runHeadless(app, controller);
    }
    enableHighDensityScaling();
    QApplication app(argc, argv);
    installTranslation(app);
    setApplicationIdentity();
    QCommandLineParser parser;
    describeOptions(parser, headless);
    parser.parse(app.arguments()); // the window ignores what it does not know, as it always did
    return runWindow(app);
}
