// The longest stall of the window's event loop during each operation that waits for the box, with the real window
// and device library against the box simulator: Connect on a silent port, Connect Now over three silent ports,
// the lamp-on attempts (three refused), and a lost box's return. The target is 100 ms. Prints figures only.
#include "boxwatcher.h"
#include "dialogs.h"
#include "flatboxsim.h"
#include "stallmeter.h"
#include "testmain.h"
#include "windowtest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {

constexpr qint64 targetMs = 100;

void report(const char *operation, qint64 stallMs, qint64 tookMs)
{
    std::printf("%-48s longest stall %5lld ms (target %lld ms: %s), operation took %5lld ms\n", operation,
                static_cast<long long>(stallMs), static_cast<long long>(targetMs),
                stallMs <= targetMs ? "met" : "MISSED", static_cast<long long>(tookMs));
    std::fflush(stdout);
}

// Runs `operation` with the meter on; the operation returns when it is over.
template<class Operation>
void measure(const char *name, Operation operation)
{
    StallMeter meter;
    QElapsedTimer took;
    QApplication::processEvents();
    meter.start();
    took.start();
    operation();
    const qint64 tookMs = took.elapsed();
    const qint64 stall = meter.longestMs();
    meter.stop();
    report(name, stall, tookMs);
}

bool startSilent(FlatBoxSim &box)
{
    return box.start({"--silent-after", "0"});
}

QPushButton *button(QWidget &window, const char *name)
{
    return window.findChild<QPushButton *>(QLatin1String(name));
}

} // namespace

int main(int argc, char *argv[])
{
    velmoratest::prepareEnvironment();
    QApplication app(argc, argv);
    velmoratest::prepareApplication(app);
    DialogResponder::instance().setWatchdogMs(60000);

    FlatBoxSim silent[3];
    QStringList silentPorts;
    for (FlatBoxSim &box : silent) {
        if (!startSilent(box)) {
            std::fprintf(stderr, "%s\n", qPrintable(box.errorText()));
            return 1;
        }
        silentPorts << box.port();
    }

    {
        qputenv("VELMORA_FLAT_EXTRA_PORTS", QFile::encodeName(silentPorts.first()));
        VelmoraFlat window(nullptr, QString());
        window.show();
        auto *combo = window.findChild<QComboBox *>(QStringLiteral("MT_serialCombo"));
        combo->setCurrentText(silentPorts.first());
        measure("Connect on a silent port", [&] { button(window, "MT_serialConnect")->click(); });
        window.close();
    }
    {
        qputenv("VELMORA_FLAT_EXTRA_PORTS", QFile::encodeName(silentPorts.join(QLatin1Char(':'))));
        VelmoraFlat window(nullptr, QString());
        window.show();
        measure("Connect Now over three silent ports", [&] { button(window, "ST_connectButton")->click(); });
        window.close();
    }
    {
        FlatBoxSim box;
        if (!box.start({"--refuse-light-on", "3"}))
            return 1;
        qputenv("VELMORA_FLAT_EXTRA_PORTS", box.portName());
        VelmoraFlat window(nullptr, QStringLiteral("true"));
        window.show();
        measure("lamp-on attempts (three refused)",
                [&] { window.findChild<QCheckBox *>(QStringLiteral("MT_lampSwitch"))->click(); });
        window.close();
    }
    {
        // The box behind a link goes; a box that takes 1.5 s to boot comes back behind it.
        QTemporaryDir links;
        const QString link = links.filePath(QStringLiteral("ttyBOX"));
        FlatBoxSim box;
        FlatBoxSim returning;
        if (!box.start() || !returning.start({"--boot-delay-ms", "1500"}) || !QFile::link(box.port(), link))
            return 1;
        qputenv("VELMORA_FLAT_EXTRA_PORTS", QFile::encodeName(link));
        VelmoraFlat window(nullptr, QStringLiteral("true"));
        watchForLostBox(window);
        window.show();
        window.findChild<QCheckBox *>(QStringLiteral("MT_lampSwitch"))->click();
        box.stop();
        QFile::remove(link);
        QElapsedTimer waited;
        waited.start();
        while (window.findChild<QPushButton *>(QStringLiteral("MT_serialDisconnect"))->isEnabled()
               && waited.elapsed() < 5000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        measure("a lost box's return (1.5 s boot)", [&] {
            QFile::link(returning.port(), link);
            QElapsedTimer back;
            back.start();
            while (VelmoraFlatTestAccess::statusText(window) != QStringLiteral(" FLAT BOX CONNECTED ")
                   && back.elapsed() < 15000)
                QApplication::processEvents(QEventLoop::AllEvents, 5);
        });
        window.close();
    }
    return 0;
}
