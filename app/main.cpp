#include "alpacaservice.h"
#include "boxwatcher.h"
#include "highdensity.h"
#include "serialports.h"
#include "startup.h"
#include "unsavedtable.h"
#include "velmoraflat.h"

#include <QApplication>
#include <QSettings>

int main(int argc, char *argv[])
{
    startSerialPortListing();
    enableHighDensityScaling();
    QApplication app(argc, argv);
    installTranslation(app);
    setApplicationIdentity();
    QSettings settings;
    const QString autoSearch = readAutoSearchPreference(settings);

    VelmoraFlat window(nullptr, autoSearch);
    watchForLostBox(window);
    guardUnsavedTable(window);
    window.setWindowTitle(mainWindowTitle());
    window.show();
    const auto alpacaServer = startAlpacaServer(window);
    return app.exec();
}
