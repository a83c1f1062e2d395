// Starts the program exactly as main() does, then quits as soon as the window is on screen. On stdout it prints
// the time from the moment named by VELMORA_BENCH_SPAWN_NS (CLOCK_MONOTONIC, set by the driver just before it
// started this process) to the first expose of the window, in microseconds.
#include "alpacaservice.h"
#include "boxwatcher.h"
#include "highdensity.h"
#include "serialports.h"
#include "startup.h"
#include "unsavedtable.h"
#include "velmoraflat.h"

#include "firstexpose.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char *argv[])
{
    startSerialPortListing();
    enableHighDensityScaling();
    QApplication app(argc, argv);
    FirstExposeWatch watch;
    installTranslation(app);
    setApplicationIdentity();
    QSettings settings;
    const QString autoSearch = readAutoSearchPreference(settings);

    VelmoraFlat window(nullptr, autoSearch);
    watchForLostBox(window);
    guardUnsavedTable(window);
    window.setWindowTitle(mainWindowTitle());
    watch.watch(&window);
    window.show();
    const auto alpacaServer = startAlpacaServer(window.boxController());
    return app.exec();
}
