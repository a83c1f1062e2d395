// A full slider sweep through the real window and device library against the box simulator on a
// 9600-baud line: MT_lampLevelSlider moved from 0 to 255 one step at a time, with the events of
// each step processed as during a drag. Prints figures only.
#include "dialogs.h"
#include "flatboxsim.h"
#include "serialbench.h"
#include "testmain.h"
#include "windowtest.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QSlider>

int main(int argc, char *argv[])
{
    velmoratest::prepareEnvironment();
    QApplication app(argc, argv);
    velmoratest::prepareApplication(app);

    FlatBoxSim box;
    if (!box.start({"--line-rate", QString::number(serialbench::lineRate)})) {
        std::fprintf(stderr, "%s\n", qPrintable(box.errorText()));
        return 1;
    }
    qputenv("VELMORA_FLAT_EXTRA_PORTS", box.portName());
    VelmoraFlat window(nullptr, QStringLiteral("true"));
    window.show();
    QApplication::processEvents();
    auto *lampSwitch = window.findChild<QCheckBox *>(QStringLiteral("MT_lampSwitch"));
    auto *slider = window.findChild<QSlider *>(QStringLiteral("MT_lampLevelSlider"));
    if (VelmoraFlatTestAccess::statusText(window) != QStringLiteral(" FLAT BOX CONNECTED ") || !lampSwitch
        || !slider) {
        std::fprintf(stderr, "the window did not connect to the simulator at %s\n", qPrintable(box.port()));
        return 1;
    }
    lampSwitch->click();
    QApplication::processEvents();

    const int commandsBefore = serialbench::brightnessCommands(box.accepted());
    QElapsedTimer clock;
    clock.start();
    for (int level = 1; level <= serialbench::sweepSteps; ++level) {
        slider->setValue(level);
        QApplication::processEvents();
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const int wireCommands = serialbench::brightnessCommands(box.accepted()) - commandsBefore;
    serialbench::printSweep("window slider sweep at 9600 baud (MT_lampLevelSlider 0..255, real window and library)",
                            seconds, wireCommands);
    std::printf("  final slider %d, box heard %s\n", slider->value(), qPrintable(box.accepted().last()));
    window.close();
    return wireCommands == serialbench::sweepSteps ? 0 : 1;
}
