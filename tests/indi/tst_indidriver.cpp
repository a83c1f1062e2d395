// indi_velmora_flat as Ekos meets it: Debian's indiserver runs the driver, the tools of indi-bin play the client,
// the box simulator is the box, indi_simulator_wheel the filter wheel and the real window (with its Alpaca server)
// the panel.
#include "alpacaclient.h"
#include "alpacaservice.h"
#include "alpacasettings.h"
#include "boxwatcher.h"
#include "dialogs.h"
#include "flatboxsim.h"
#include "indiserver.h"
#include "testmain.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSlider>

namespace {

const QString driverDevice = QStringLiteral("VELMORA Flat Box");
const QString wheel = QStringLiteral("Filter Simulator");

QString prop(const QString &name)
{
    return driverDevice + QLatin1Char('.') + name;
}

// Conditions on the driver's properties: "FLAT_LIGHT_INTENSITY._STATE==1" and the like.
QStringList holds(const QStringList &conditions)
{
    QStringList onDevice;
    for (const QString &condition : conditions)
        onDevice.append(prop(condition));
    return onDevice;
}

// What the box received after the first `skip` commands it took in.
QStringList commandsAfter(const FlatBoxSim &box, int skip)
{
    return box.accepted().mid(skip);
}

bool connectSerial(IndiServer &indi, const QString &port)
{
    return indi.set(prop("DEVICE_PORT.PORT=") + port) && indi.set(prop("CONNECTION.CONNECT=On"))
           && indi.waitFor(holds({"CONNECTION._STATE==1", "CONNECTION.CONNECT==1"}), 10);
}

const QStringList lampCommands = {QStringLiteral(">L"), QStringLiteral(">D"), QStringLiteral(">B")};

bool touchesTheLamp(const QStringList &commands)
{
    for (const QString &command : commands)
        for (const QString &lamp : lampCommands)
            if (command.startsWith(lamp))
                return true;
    return false;
}

} // namespace

class IndiDriverTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("VELMORA_FLAT_EXTRA_PORTS"); }
    void connectShowsTheBoxAsItIs_data();
    void connectShowsTheBoxAsItIs();
    void lampAndLevel_data();
    void lampAndLevel();
    void levelsPerFilterFromTheTable_data();
    void levelsPerFilterFromTheTable();
    void throughThePanel();
    void lostBoxComesBack_data();
    void lostBoxComesBack();

private:
    QTemporaryDir files;
};

void IndiDriverTest::connectShowsTheBoxAsItIs_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("dialect");
    QTest::addColumn<bool>("lampOn");
    QTest::addColumn<int>("level");
    QTest::newRow("either terminator, classic filler") << QStringList() << "19" << "terminator CR, filler 0" << false << 0;
    QTest::newRow("LF only, letters")
        << QStringList{"--terminator", "lf", "--filler", "letter"} << "19" << "terminator LF, filler O" << false << 0;
    QTest::newRow("CR only, digits, CR LF replies")
        << QStringList{"--terminator", "cr", "--filler", "digit", "--reply-end", "crlf"} << "19"
        << "terminator CR, filler 0" << false << 0;
    QTest::newRow("draining LF firmware, product 99")
        << QStringList{"--terminator", "lf", "--filler", "digit", "--drain", "--product-id", "99"} << "99"
        << "terminator LF, filler 0" << false << 0;
    QTest::newRow("slow start-up, either filler")
        << QStringList{"--boot-delay-ms", "500", "--startup-wait-ms", "700", "--filler", "any"} << "19"
        << "terminator CR, filler O" << false << 0;
    QTest::newRow("lit at power-up") << QStringList{"--lit-at-boot", "180"} << "19" << "terminator CR, filler 0"
                                     << true << 180;
}

// The lamp is shown as the box reports it, and connecting does not touch it.
void IndiDriverTest::connectShowsTheBoxAsItIs()
{
    QFETCH(QStringList, options);
    QFETCH(QString, product);
    QFETCH(QString, dialect);
    QFETCH(bool, lampOn);
    QFETCH(int, level);
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    IndiServer indi;
    QVERIFY2(indi.start({VELMORA_INDI_DRIVER}, driverDevice), qPrintable(indi.errorText()));
    QVERIFY(connectSerial(indi, box.port()));

    const auto shown = indi.get(prop("*.*"));
    QCOMPARE(shown.value(prop("VELMORA_BOX.PRODUCT_ID")), product);
    QCOMPARE(shown.value(prop("VELMORA_BOX.DIALECT")), dialect);
    QCOMPARE(shown.value(prop("VELMORA_BOX.FIRMWARE")), QStringLiteral("001"));
    QCOMPARE(shown.value(prop("FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON")), QString::fromLatin1(lampOn ? "On" : "Off"));
    QCOMPARE(shown.value(prop("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE")).toInt(), level);
    QCOMPARE(shown.value(prop("DRIVER_INFO.DRIVER_INTERFACE")), QStringLiteral("33792")); // AUX | LIGHTBOX
    QVERIFY2(!touchesTheLamp(box.accepted()), qPrintable(box.accepted().join(' ')));
}

void IndiDriverTest::lampAndLevel_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("assignments"); // to the driver's properties, one after the other
    QTest::addColumn<QStringList>("outcomes");    // what each one ends in (indi_eval conditions)
    QTest::addColumn<QStringList>("wire");        // the commands the box receives for them
    const QString on = "FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On";
    const QString off = "FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF=On";
    const QString level = "FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=%1";
    const QString lampOk = "FLAT_LIGHT_CONTROL._STATE==1";
    const QString levelOk = "FLAT_LIGHT_INTENSITY._STATE==1";
    QTest::newRow("on, level, off") << QStringList() << QStringList{on, level.arg(200), off}
                                    << QStringList{"FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON==1 && " + lampOk,
                                                   "FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE==200 && " + levelOk,
                                                   "FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1 && " + lampOk}
                                    << QStringList{">L000", ">B200", ">D000"};
    QTest::newRow("letters firmware, levels 0 and 255")
        << QStringList{"--terminator", "lf", "--filler", "letter"} << QStringList{level.arg(255), on, level.arg(0)}
        << QStringList{"FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE==255 && " + levelOk,
                       "FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON==1 && " + lampOk,
                       "FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE==0 && " + levelOk}
        << QStringList{">B255", ">LOOO", ">B000"};
    QTest::newRow("a refused light-on is tried again")
        << QStringList{"--refuse-light-on", "1"} << QStringList{on}
        << QStringList{"FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON==1 && " + lampOk} << QStringList{">L000", ">L000"};
    QTest::newRow("a lamp that never lights is an alert")
        << QStringList{"--refuse-light-on", "9"} << QStringList{on}
        << QStringList{"FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1 && FLAT_LIGHT_CONTROL._STATE==3"}
        << QStringList{">L000", ">L000", ">L000"};
    QTest::newRow("a level above 255 is refused and not sent")
        << QStringList() << QStringList{level.arg(300)}
        << QStringList{"FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE==0 && FLAT_LIGHT_INTENSITY._STATE==3"}
        << QStringList();
}

void IndiDriverTest::lampAndLevel()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, assignments);
    QFETCH(QStringList, outcomes);
    QFETCH(QStringList, wire);
    FlatBoxSim box;
    QVERIFY2(box.start(options), qPrintable(box.errorText()));
    IndiServer indi;
    QVERIFY2(indi.start({VELMORA_INDI_DRIVER}, driverDevice), qPrintable(indi.errorText()));
    QVERIFY(connectSerial(indi, box.port()));
    const int handshake = box.accepted().size();
    for (int i = 0; i < assignments.size(); ++i) {
        QVERIFY(indi.set(prop(assignments[i])));
        QVERIFY2(indi.waitFor(holds(outcomes[i].split(" && ")), 5), qPrintable(outcomes[i]));
    }
    QTRY_COMPARE(commandsAfter(box, handshake), wire);
}

void IndiDriverTest::levelsPerFilterFromTheTable_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("isoBin");
    QTest::addColumn<QStringList>("presets"); // of the wheel's filters, slot by slot
    QTest::addColumn<int>("slot");            // the wheel turns to it: the lamp takes its level
    QTest::addColumn<QString>("rewritten");   // the table file's new contents, read again
    QTest::addColumn<QStringList>("presetsAfter");
    QTest::addColumn<QStringList>("wheelNames"); // the wheel's filters renamed to these; empty: as it names them
    const QStringList simulatorNames;
    QTest::newRow("names as the panel writes them")
        << QStringList{"CCD 1x1 Red 2.5 140", "CCD 1x1 Green 2 120", "CCD 1x1 H-alpha 30 250",
                       "CCD 1x1 Light Pollution 1 s 90", "CCD 1x1 Luminance 0.5 60", "CCD 2x2 Blue 1 10"}
        << "1x1" << QStringList{"140", "120", "0", "250", "0", "0", "90", "60"} << 2
        << "CCD 1x1 Green 2 99\n" << QStringList{"140", "99", "0", "250", "0", "0", "90", "60"} << simulatorNames;
    // A table's own short forms are other filters, as they are for the window; the wheel's spelling is found.
    QTest::newRow("short forms and other spellings in the table")
        << QStringList{"DSLR 800 R 1 11", "CCD 2x2 r 2 22", "CCD 2x2 Ha 3 33", "CCD 2x2 S2 4 44",
                       "CCD 2x2 o-iii 5 55", "CCD 2x2 lpr 6 66", "CCD 2x2 L 7 abc", "CCD 2x2 H_Alpha 8 88",
                       "CCD 2x2 LPR 9 99"}
        << "2x2" << QStringList{"0", "0", "0", "88", "0", "0", "99", "0"} << 4
        << "" << QStringList{"0", "0", "0", "88", "0", "0", "99", "0"} << simulatorNames;
    QTest::newRow("notes after the level, a level above 255, an exposure with a blank")
        << QStringList{"CCD 1x1 Red 2.5 140 dusk light", "CCD 1x1 Green 2 300", "CCD 1x1 Blue 1.5 s 45"}
        << "1x1" << QStringList{"140", "255", "45", "0", "0", "0", "0", "0"} << 3
        << "" << QStringList{"140", "255", "45", "0", "0", "0", "0", "0"} << simulatorNames;
    // Names that begin like others ("OIII 3nm" and "OIII") and a table the Italian panel saved.
    const QStringList narrowband = {"OIII 3nm", "Ha 7nm", "Blue", "H_Alpha", "SII", "OIII", "LPR", "Luminance"};
    const QStringList mixedTable = {"CCD 1x1 OIII 3nm 5 150", "CCD 1x1 OIII 4 120", "CCD 1x1 Ha 7nm 3 200",
                                    "CCD 1x1 H-alfa 9 230", "CCD 1x1 Inq. luminoso 2 90", "CCD 1x1 Luminanza 0.5 60"};
    QTest::newRow("narrowband beside broadband names, Italian lines")
        << mixedTable << "1x1" << QStringList{"150", "200", "0", "230", "0", "120", "90", "60"} << 6
        << "CCD 1x1 OIII 3nm 5 150\nCCD 1x1 OIII 2 110\n"
        << QStringList{"150", "200", "0", "230", "0", "110", "90", "60"} << narrowband;
}

// The wheel (indi_simulator_wheel) names Red, Green, Blue, H_Alpha, SII, OIII, LPR and Luminance, or a row renames.
void IndiDriverTest::levelsPerFilterFromTheTable()
{
    QFETCH(QStringList, table);
    QFETCH(QString, isoBin);
    QFETCH(QStringList, presets);
    QFETCH(int, slot);
    QFETCH(QString, rewritten);
    QFETCH(QStringList, presetsAfter);
    QFETCH(QStringList, wheelNames);
    const QStringList filters = wheelNames.isEmpty()
                                    ? QStringList{"Red", "Green", "Blue", "H_Alpha", "SII", "OIII", "LPR", "Luminance"}
                                    : wheelNames;
    const QString path = files.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-') + ".vfc");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write((table.join('\n') + '\n').toUtf8()) > 0);
    file.close();

    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    IndiServer indi;
    QVERIFY2(indi.start({VELMORA_INDI_DRIVER, "indi_simulator_wheel"}, driverDevice), qPrintable(indi.errorText()));
    QVERIFY(indi.set(wheel + ".CONNECTION.CONNECT=On"));
    QVERIFY(connectSerial(indi, box.port()));
    if (!wheelNames.isEmpty()) {
        QStringList elements;
        for (int i = 1; i <= wheelNames.size(); ++i)
            elements.append("FILTER_SLOT_NAME_" + QString::number(i));
        QVERIFY(indi.set(wheel + ".FILTER_NAME." + elements.join(';') + '=' + wheelNames.join(';')));
        QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_FILTER_INTENSITY." + wheelNames.first() + "==0"}), 5));
    }
    QVERIFY(indi.set(prop("VELMORA_TABLE.FILE;CAMERA;ISO_BIN=") + path + ";CCD;" + isoBin));
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_FILTER_INTENSITY." + filters[0] + "==" + presets[0]}), 5));
    const auto shown = indi.get(prop("FLAT_LIGHT_FILTER_INTENSITY.*"));
    for (int i = 0; i < filters.size(); ++i)
        QCOMPARE(shown.value(prop("FLAT_LIGHT_FILTER_INTENSITY.") + filters[i]), presets[i]);

    const int before = box.accepted().size();
    QVERIFY(indi.set(wheel + ".FILTER_SLOT.FILTER_SLOT_VALUE=" + QString::number(slot)));
    const QString level = presets[slot - 1];
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE==" + level,
                                "FLAT_LIGHT_INTENSITY._STATE==1"}), 5));
    QTRY_COMPARE(commandsAfter(box, before), QStringList{QStringLiteral(">B%1").arg(level.toInt(), 3, 10, QChar('0'))});

    if (rewritten.isEmpty())
        return;
    const QDateTime written = QFileInfo(file).lastModified();
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(rewritten.toUtf8()) > 0);
    // A new modification time without waiting for the clock to pass a second of the file system's.
    QVERIFY(file.setFileTime(written.addSecs(2), QFileDevice::FileModificationTime));
    file.close();
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_FILTER_INTENSITY." + filters[slot - 1] + "==" + presetsAfter[slot - 1]}), 5));
    const auto after = indi.get(prop("FLAT_LIGHT_FILTER_INTENSITY.*"));
    for (int i = 0; i < filters.size(); ++i)
        QCOMPARE(after.value(prop("FLAT_LIGHT_FILTER_INTENSITY.") + filters[i]), presetsAfter[i]);
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE==" + presetsAfter[slot - 1]}), 5));
}

// The driver as one more client of the panel: Ekos, the window and other Alpaca clients share the box.
void IndiDriverTest::throughThePanel()
{
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    const QString link = files.filePath(QStringLiteral("panel-box"));
    QFile::remove(link);
    QVERIFY(QFile::link(box.port(), link));
    qputenv("VELMORA_FLAT_EXTRA_PORTS", QFile::encodeName(link));
    DialogResponder::instance().clear();
    auto window = makeWindow(QStringLiteral("true"));
    // Gone before the window: its filter would otherwise see the window's children go.
    const std::unique_ptr<BoxWatcher> watcher(watchForLostBox(*window));
    alpaca::Settings settings;
    settings.port = 0;
    settings.discoveryPort = 0;
    auto server = AlpacaService::start(window->boxController(), settings);
    QVERIFY(server);
    auto *slider = child<QSlider>(*window, "MT_lampLevelSlider");
    auto *lampSwitch = child<QCheckBox>(*window, "MT_lampSwitch");

    IndiServer indi;
    QVERIFY2(indi.start({VELMORA_INDI_DRIVER}, driverDevice), qPrintable(indi.errorText()));
    QVERIFY(indi.set(prop("CONNECTION_MODE.CONNECTION_TCP=On")));
    QVERIFY(indi.set(prop("DEVICE_ADDRESS.ADDRESS;PORT=127.0.0.1;") + QString::number(server->httpPort())));
    QVERIFY(indi.set(prop("CONNECTION.CONNECT=On")));
    QVERIFY(indi.waitFor(holds({"CONNECTION._STATE==1", "CONNECTION.CONNECT==1"}), 10));
    QCOMPARE(indi.value(prop("FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF")), QStringLiteral("On"));

    // Ekos's commands move the window's controls.
    QVERIFY(indi.set(prop("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=150")));
    QVERIFY(indi.set(prop("FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On")));
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON==1", "FLAT_LIGHT_CONTROL._STATE==1"}), 5));
    QVERIFY(lampSwitch->isChecked());
    QCOMPARE(slider->value(), 150);
    QVERIFY(indi.set(prop("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=90")));
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE==90", "FLAT_LIGHT_INTENSITY._STATE==1"}), 5));
    QCOMPARE(slider->value(), 90);
    QCOMPARE(box.accepted().filter(QRegularExpression("^>[LDB]")).join(' '), QStringLiteral(">B150 >L000 >B090"));

    // The window's and another Alpaca client's changes show in the driver.
    slider->setValue(60);
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE==60"}), 3));
    const QString otherClient = QStringLiteral("ClientID=77");
    QCOMPARE(httpCallSpinning(server->httpPort(), "PUT " + device("connected"), "Connected=true&" + otherClient).errorNumber(), 0);
    QCOMPARE(httpCallSpinning(server->httpPort(), "PUT " + device("calibratoroff"), otherClient).errorNumber(), 0);
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1"}), 3));
    QVERIFY(!lampSwitch->isChecked());

    // The panel loses its box and finds it again: the driver waits with it.
    QFile::remove(link);
    box.stop();
    QVERIFY(indi.waitFor(holds({"CONNECTION._STATE==3"}), 4));
    QVERIFY(indi.messages().filter("Flat box lost: the panel at 127.0.0.1").size() == 1);
    FlatBoxSim replugged;
    QVERIFY2(replugged.start(), qPrintable(replugged.errorText()));
    QVERIFY(QFile::link(replugged.port(), link));
    QVERIFY(indi.waitFor(holds({"CONNECTION._STATE==1", "FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1"}), 8));
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX CONNECTED "));

    // The panel goes away (its Alpaca server stops) and comes back on the same port: the driver waits for it.
    const int panelPort = server->httpPort();
    QElapsedTimer clock;
    clock.start();
    server.reset();
    QVERIFY(indi.waitFor(holds({"CONNECTION._STATE==3"}), 10));
    const qint64 panelLossMs = clock.elapsed();
    // A lost panel is shown within 3 s, as a lost box is: a time a user sees (indi_getprop's round trip included).
    QVERIFY2(panelLossMs < 3000, qPrintable(QString::number(panelLossMs)));
    QVERIFY(indi.messages().filter("Flat box lost: the panel at 127.0.0.1").size() == 2);
    settings.port = panelPort;
    server = AlpacaService::start(window->boxController(), settings);
    QVERIFY(server);
    clock.restart();
    QVERIFY(indi.waitFor(holds({"CONNECTION._STATE==1", "FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1"}), 5));
    qInfo("panel gone: Alert after %lld ms; back %lld ms after the panel returned", panelLossMs, clock.elapsed());
    QVERIFY(indi.set(prop("FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On")));
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON==1", "FLAT_LIGHT_CONTROL._STATE==1"}), 5));
    QVERIFY(lampSwitch->isChecked());

    // Ekos's disconnect ends only its own use: the panel keeps the box.
    QVERIFY(indi.set(prop("CONNECTION.DISCONNECT=On")));
    QVERIFY(indi.waitFor(holds({"CONNECTION.DISCONNECT==1"}), 3));
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX CONNECTED "));
}

void IndiDriverTest::lostBoxComesBack_data()
{
    QTest::addColumn<QString>("fault");          // "pulled": the box goes with its node; "node": only the node goes;
                                                 // "silent": the box stays plugged in and stops answering
    QTest::addColumn<QStringList>("boxOptions");
    QTest::addColumn<int>("lossBoundMs");        // from the lamp's confirmation and from the box's last answer
    QTest::addColumn<QStringList>("newBox");     // the box plugged in afterwards
    QTest::addColumn<QString>("product");        // VELMORA_BOX as it is read again
    QTest::addColumn<QString>("dialect");
    QTest::newRow("cable pulled") << "pulled" << QStringList() << 2500 << QStringList() << "19"
                                  << "terminator CR, filler 0";
    QTest::newRow("device node removed") << "node" << QStringList() << 2500 << QStringList() << "19"
                                         << "terminator CR, filler 0";
    // Connect's six queries, the level and the lamp are answered; the idle status queries are not.
    QTest::newRow("box silent, still plugged in") << "silent" << QStringList{"--silent-after", "8"} << 3000
                                                  << QStringList() << "19" << "terminator CR, filler 0";
    QTest::newRow("another box plugged in")
        << "pulled" << QStringList() << 2500 << QStringList{"--product-id", "99", "--terminator", "lf", "--filler", "letter"}
        << "99" << "terminator LF, filler O";
}

// The box behind a link: a new box plugged in is a new simulator behind the same path.
void IndiDriverTest::lostBoxComesBack()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, boxOptions);
    QFETCH(int, lossBoundMs);
    QFETCH(QStringList, newBox);
    QFETCH(QString, product);
    QFETCH(QString, dialect);
    const QString link = files.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-').remove(','));
    FlatBoxSim box;
    QVERIFY2(box.start(boxOptions), qPrintable(box.errorText()));
    QFile::remove(link);
    QVERIFY(QFile::link(box.port(), link));
    IndiServer indi;
    QVERIFY2(indi.start({VELMORA_INDI_DRIVER}, driverDevice), qPrintable(indi.errorText()));
    QVERIFY(connectSerial(indi, link));
    QVERIFY(indi.set(prop("FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE=128")));
    QVERIFY(indi.set(prop("FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON=On")));
    QVERIFY(indi.waitFor(holds({"FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON==1", "FLAT_LIGHT_CONTROL._STATE==1"}), 5));

    QElapsedTimer clock;
    clock.start();
    if (fault != QLatin1String("silent"))
        QFile::remove(link);
    if (fault == QLatin1String("pulled"))
        box.stop();
    QVERIFY(indi.waitFor(holds({"CONNECTION._STATE==3"}), 10));
    const qint64 lossMs = clock.elapsed();
    const qint64 sinceAnswerMs = box.msSinceLastAnswer();
    // Ekos shows a lost box within 3 s: a bound a user sees, so it stays. It is read through indi_getprop,
    // whose round trip on a loaded machine is added to what the user would see.
    const int observerSlackMs = 1000;
    QVERIFY2(lossMs < lossBoundMs + observerSlackMs, qPrintable(QString::number(lossMs)));
    QVERIFY2(sinceAnswerMs < lossBoundMs + observerSlackMs, qPrintable(QString::number(sinceAnswerMs)));
    QVERIFY(indi.messages().filter("Flat box lost on " + link).size() == 1);
    QFile::remove(link);
    box.stop();

    FlatBoxSim replugged;
    QVERIFY2(replugged.start(newBox + QStringList{"--boot-delay-ms", "2000"}), qPrintable(replugged.errorText()));
    clock.restart();
    QVERIFY(QFile::link(replugged.port(), link));
    QVERIFY(indi.waitFor(holds({"CONNECTION._STATE==1", "FLAT_LIGHT_CONTROL.FLAT_LIGHT_ON==1",
                                "FLAT_LIGHT_INTENSITY.FLAT_LIGHT_INTENSITY_VALUE==128"}), 20));
    qInfo("%s: lost after %lld ms (%lld ms after the box's last answer), back %lld ms after the port returned",
          QTest::currentDataTag(), lossMs, sinceAnswerMs, clock.elapsed());
    const QString filler = dialect.endsWith('O') ? QStringLiteral("OOO") : QStringLiteral("000");
    const QStringList accepted = replugged.accepted();
    QCOMPARE(accepted.mid(accepted.lastIndexOf(">V" + filler) + 1), (QStringList{">B128", ">L" + filler}));
    QVERIFY(indi.messages().filter("Flat box back on " + link).size() == 1);
    const auto shown = indi.get(prop("VELMORA_BOX.*"));
    QCOMPARE(shown.value(prop("VELMORA_BOX.PRODUCT_ID")), product);
    QCOMPARE(shown.value(prop("VELMORA_BOX.DIALECT")), dialect);
    QCOMPARE(shown.value(prop("VELMORA_BOX.FIRMWARE")), QStringLiteral("001"));
}

VELMORA_TEST_MAIN(IndiDriverTest)
#include "tst_indidriver.moc"
