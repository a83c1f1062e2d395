// The flat assistant's window, driven through a real FlatAssistant whose signals the test emits as a run would:
// what the chart, the results table, the log, the saved table, the night look and the Italian texts show.
#include "assistanttheme.h"
#include "assistanttranslation.h"
#include "assistantwindow.h"
#include "dialogs.h"
#include "flatchart.h"
#include "indiserver.h"
#include "testmain.h"
#include "windowtest.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>

#include <memory>

using namespace QtCharts;

namespace {

// "Red 40 2 0.2; Red 255 2 sat; Green 120 2 0.45": filter, level, exposure, figure (or "sat") per frame.
struct ScriptedFrame
{
    QString filter;
    flatsearch::Frame frame;
};

QList<ScriptedFrame> framesOf(const QString &script)
{
    QList<ScriptedFrame> frames;
    for (const QString &entry : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList field = entry.simplified().split(QLatin1Char(' '));
        flatsearch::Frame frame;
        frame.level = field.at(1).toInt();
        frame.exposure = field.at(2).toDouble();
        frame.saturated = field.at(3) == QLatin1String("sat");
        frame.figure = frame.saturated ? 1.0 : field.at(3).toDouble();
        frames.append({field.at(0), frame});
    }
    return frames;
}

// "Red 143 2 0.497 3 done [2.9]": filter, level, exposure, figure, frames, done or not, and the exposure the frames
// banded below.
FilterResult resultOf(const QString &text)
{
    const QStringList field = text.simplified().split(QLatin1Char(' '));
    FilterResult result;
    result.filter = field.at(0);
    result.tableFilter = field.at(0) == QLatin1String("Ha") ? QStringLiteral("H-alpha") : field.at(0);
    result.level = field.at(1).toInt();
    result.exposure = field.at(2).toDouble();
    result.figure = field.at(3).toDouble();
    result.frames = field.at(4).toInt();
    result.reached = field.at(5) == QLatin1String("done");
    result.bandingBelow = field.value(6).toDouble();
    return result;
}

// What the results table shows.
int rowCount(const QTableView &table)
{
    return table.model()->rowCount();
}

QStringList rowTexts(const QTableView &table, int row)
{
    QStringList texts;
    for (int column = 0; column < table.model()->columnCount(); ++column)
        texts.append(table.model()->index(row, column).data().toString());
    return texts;
}

QString headerText(const QTableView &table, int column)
{
    return table.model()->headerData(column, Qt::Horizontal).toString();
}

} // namespace

class AssistantWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void chartPlotsTheShownFiltersFrames_data();
    void chartPlotsTheShownFiltersFrames();
    void chartDrawsTheTargetBand_data();
    void chartDrawsTheTargetBand();
    void chartDrawsTheLearnedCurveThroughTheLatestFrame_data();
    void chartDrawsTheLearnedCurveThroughTheLatestFrame();
    void resultsTableShowsEachFilter_data();
    void resultsTableShowsEachFilter();
    void buttonsFollowTheRunState_data();
    void buttonsFollowTheRunState();
    void argumentsFillTheFields_data();
    void argumentsFillTheFields();
    void startNeedsACameraAndALightBox();
    void startHandsTheChosenOptionsToTheModule();
    void saveToTableAnswers_data();
    void saveToTableAnswers();
    void listDevicesShowsWhatTheServerOffers();
    void runThroughTheWindow();
    void stopFromTheWindow();
    void listDevicesWithoutAServerSaysSo();
    void nightButtonSwitchesTheLook_data();
    void nightButtonSwitchesTheLook();
    void italianTexts_data();
    void italianTexts();

private:
    void emitFrames(const QString &script);
    template<class T>
    T *find(const char *name) { return child<T>(*window, name); }
    // Clicks a button as a user does: nothing happens when it is disabled.
    void click(const char *name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }

    std::unique_ptr<FlatAssistant> assistant;
    std::unique_ptr<AssistantWindow> window;
};

void AssistantWindowTest::init()
{
    assistant = std::make_unique<FlatAssistant>();
    window = std::make_unique<AssistantWindow>(assistant.get());
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    DialogResponder::instance().clear();
}

void AssistantWindowTest::cleanup()
{
    window.reset();
    assistant.reset();
}

void AssistantWindowTest::emitFrames(const QString &script)
{
    for (const ScriptedFrame &scripted : framesOf(script))
        emit assistant->frameMeasured(scripted.filter, scripted.frame);
}

void AssistantWindowTest::chartPlotsTheShownFiltersFrames_data()
{
    QTest::addColumn<QString>("frames");
    QTest::addColumn<QString>("choose");      // a filter picked in the chooser afterwards, or none
    QTest::addColumn<QStringList>("chooser"); // the chooser's filters
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("measured");
    QTest::addColumn<int>("saturated");

    QTest::newRow("three frames of one filter")
        << "Red 40 2 0.2; Red 120 2 0.45; Red 143 2 0.497" << "" << QStringList{"Red"} << "Red" << 3 << 0;
    QTest::newRow("a saturated frame is drawn apart")
        << "Blue 255 2 sat; Blue 90 2 0.43" << "" << QStringList{"Blue"} << "Blue" << 1 << 1;
    QTest::newRow("the chart follows the filter being searched")
        << "Red 40 2 0.2; Red 143 2 0.497; Green 143 2 0.61" << "" << QStringList{"Red", "Green"} << "Green" << 1 << 0;
    QTest::newRow("an earlier filter chosen again")
        << "Red 40 2 0.2; Red 143 2 0.497; Green 143 2 0.61" << "Red" << QStringList{"Red", "Green"} << "Red" << 2
        << 0;
}

void AssistantWindowTest::chartPlotsTheShownFiltersFrames()
{
    QFETCH(QString, frames);
    QFETCH(QString, choose);
    QFETCH(QStringList, chooser);
    QFETCH(QString, shown);
    QFETCH(int, measured);
    QFETCH(int, saturated);

    emitFrames(frames);
    auto *combo = find<QComboBox>("chartFilterCombo");
    if (!choose.isEmpty())
        combo->setCurrentText(choose);

    QStringList listed;
    for (int i = 0; i < combo->count(); ++i)
        listed.append(combo->itemText(i));
    QCOMPARE(listed, chooser);
    auto *chart = find<FlatChart>("flatChart");
    QCOMPARE(chart->shownFilter(), shown);
    QCOMPARE(chart->framesSeries()->count(), measured);
    QCOMPARE(chart->saturatedSeries()->count(), saturated);
    QVERIFY2(chart->chart()->title().startsWith(shown + QStringLiteral(" at ")), qPrintable(chart->chart()->title()));
}

void AssistantWindowTest::chartDrawsTheTargetBand_data()
{
    QTest::addColumn<double>("target");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");

    QTest::newRow("defaults") << 0.5 << 0.05 << 0.475 << 0.525;
    QTest::newRow("a lower target, a wider band") << 0.3 << 0.1 << 0.27 << 0.33;
}

void AssistantWindowTest::chartDrawsTheTargetBand()
{
    QFETCH(double, target);
    QFETCH(double, tolerance);
    QFETCH(double, low);
    QFETCH(double, high);

    find<QDoubleSpinBox>("targetSpin")->setValue(target);
    find<QDoubleSpinBox>("toleranceSpin")->setValue(tolerance);

    QAreaSeries *band = find<FlatChart>("flatChart")->bandSeries();
    QCOMPARE(band->lowerSeries()->count(), 2);
    QCOMPARE(band->upperSeries()->count(), 2);
    for (int i = 0; i < 2; ++i) {
        QVERIFY(qFuzzyCompare(band->lowerSeries()->at(i).y(), low));
        QVERIFY(qFuzzyCompare(band->upperSeries()->at(i).y(), high));
    }
    QCOMPARE(band->lowerSeries()->at(1).x(), 255.0);
}

void AssistantWindowTest::chartDrawsTheLearnedCurveThroughTheLatestFrame_data()
{
    QTest::addColumn<QString>("frames");
    QTest::addColumn<int>("curvePoints");

    QTest::newRow("nothing learned yet: no curve") << "" << 0;
    QTest::newRow("one frame at level 100") << "Red 100 2 0.4" << 52;
    QTest::newRow("the curve follows the latest frame") << "Red 60 2 0.2; Red 140 2 0.5" << 52;
    QTest::newRow("only a saturated frame: no scale for the curve") << "Red 255 2 sat" << 0;
}

// The chart takes the box's curve from the module; here it is taught directly, as the search teaches it.
void AssistantWindowTest::chartDrawsTheLearnedCurveThroughTheLatestFrame()
{
    QFETCH(QString, frames);
    QFETCH(int, curvePoints);

    FlatChart chart;
    flatsearch::ResponseCurve box;
    const QList<ScriptedFrame> scripted = framesOf(frames);
    for (const ScriptedFrame &entry : scripted) {
        if (!entry.frame.saturated)
            box.learn(entry.frame, 0.5); // figure per second at level 255
    }
    chart.setCurve(box);
    for (const ScriptedFrame &entry : scripted)
        chart.addFrame(entry.filter, entry.frame);

    QLineSeries *curve = chart.curveSeries();
    QCOMPARE(curve->count(), curvePoints);
    if (curvePoints == 0)
        return;
    QCOMPARE(curve->at(0).x(), 0.0);
    QCOMPARE(curve->at(curve->count() - 1).x(), 255.0);
    const flatsearch::Frame latest = scripted.last().frame;
    // The curve's point at the latest frame's level (levels every 5) lies on that frame's figure.
    QVERIFY(latest.level % 5 == 0);
    const double drawn = curve->at(latest.level / 5).y();
    QVERIFY2(qAbs(drawn - latest.figure) < 0.01, qPrintable(QString::number(drawn)));
    for (int i = 1; i < curve->count(); ++i)
        QVERIFY2(curve->at(i).y() >= curve->at(i - 1).y(), "the curve rises with the level");
}

void AssistantWindowTest::resultsTableShowsEachFilter_data()
{
    QTest::addColumn<QString>("frames");
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QList<QStringList>>("rows");

    QTest::newRow("a filter being searched")
        << "Red 40 2 0.2; Red 120 2 0.45" << QStringList{}
        << QList<QStringList>{{"Red", "120", "2", "0.450", "2", "Searching…"}};
    QTest::newRow("a saturated frame")
        << "Red 255 2 sat" << QStringList{} << QList<QStringList>{{"Red", "255", "2", "saturated", "1", "Searching…"}};
    QTest::newRow("a filter done")
        << "Red 40 2 0.2; Red 120 2 0.45; Red 143 2 0.497" << QStringList{"Red 143 2 0.497 3 done"}
        << QList<QStringList>{{"Red", "143", "2", "0.497", "3", "Done"}};
    QTest::newRow("one done, one not reached, the table's name beside the wheel's")
        << "Red 143 2 0.5; Ha 255 2 0.01; Ha 255 60 0.21" << QStringList{"Red 143 2 0.5 1 done", "Ha 255 60 0.21 2 no"}
        << QList<QStringList>{{"Red", "143", "2", "0.500", "1", "Done"},
                              {"Ha (H-alpha)", "255", "60", "0.210", "2", "Not reached"}};
    QTest::newRow("banding found: the exposure above it")
        << "Red 40 2 0.78; Red 25 3.2 0.49" << QStringList{"Red 25 3.2 0.49 2 done 2.87"}
        << QList<QStringList>{{"Red", "25", "3.2", "0.490", "2", "Done, banding below 2.9 s"}};
}

void AssistantWindowTest::resultsTableShowsEachFilter()
{
    QFETCH(QString, frames);
    QFETCH(QStringList, results);
    QFETCH(QList<QStringList>, rows);

    emitFrames(frames);
    QStringList reported;
    for (const QString &text : results) {
        const FilterResult result = resultOf(text);
        emit assistant->filterFinished(result);
        reported.append(result.reportLine());
    }

    auto *table = find<QTableView>("resultsTable");
    QCOMPARE(rowCount(*table), rows.size());
    for (int row = 0; row < rows.size(); ++row)
        QCOMPARE(rowTexts(*table, row), rows.at(row));
    // Each finished filter's line, as the command line prints it, is in the log.
    const QString logText = find<QPlainTextEdit>("logView")->toPlainText();
    for (const QString &line : reported)
        QVERIFY2(logText.contains(line), qPrintable(logText));
}

void AssistantWindowTest::buttonsFollowTheRunState_data()
{
    QTest::addColumn<FlatAssistant::State>("state");
    QTest::addColumn<bool>("startEnabled");
    QTest::addColumn<bool>("stopEnabled");
    QTest::addColumn<QString>("status");

    QTest::newRow("connecting") << FlatAssistant::State::Connecting << false << true << "Connecting…";
    QTest::newRow("wheel moving") << FlatAssistant::State::MovingWheel << false << true << "Moving the filter wheel…";
    QTest::newRow("exposing") << FlatAssistant::State::Exposing << false << true << "Exposing…";
    QTest::newRow("finished") << FlatAssistant::State::Finished << true << false << "Finished";
    QTest::newRow("stopped") << FlatAssistant::State::Stopped << true << false << "Stopped";
}

void AssistantWindowTest::buttonsFollowTheRunState()
{
    QFETCH(FlatAssistant::State, state);
    QFETCH(bool, startEnabled);
    QFETCH(bool, stopEnabled);
    QFETCH(QString, status);

    emit assistant->stateChanged(state);
    QCOMPARE(find<QPushButton>("startButton")->isEnabled(), startEnabled);
    QCOMPARE(find<QPushButton>("stopButton")->isEnabled(), stopEnabled);
    // The settings cannot change under a running search.
    QCOMPARE(find<QDoubleSpinBox>("exposureSpin")->isEnabled(), startEnabled);
    QCOMPARE(window->statusBar()->currentMessage(), status);
}

void AssistantWindowTest::argumentsFillTheFields_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the program's name and --gui
    QTest::addColumn<QStringList>("shown");     // "objectName=what the widget shows"
    QTest::addColumn<QStringList>("logged");

    const QString taken = QStringLiteral("Not taken from the command line: ");
    QTest::newRow("no options: the defaults, nothing to say")
        << QStringList()
        << QStringList{"hostEdit=127.0.0.1", "portSpin=7624", "exposureSpin=2.000 s", "nightButton=off"} << QStringList();
    QTest::newRow("server and devices")
        << QStringList{"--indi", "[::1]:7625", "--camera", "Model Camera", "--light", "VELMORA Flat Box", "--wheel",
                       "W"}
        << QStringList{"hostEdit=::1", "portSpin=7625", "cameraCombo=Model Camera", "lightCombo=VELMORA Flat Box",
                       "wheelCombo=W"}
        << QStringList();
    QTest::newRow("a server without a port is not taken, as the command line refuses it")
        << QStringList{"--indi", "localhost", "--camera", "C"}
        << QStringList{"hostEdit=127.0.0.1", "portSpin=7624", "cameraCombo=C"}
        << QStringList{taken + "--indi needs HOST:PORT, not \"localhost\""};
    QTest::newRow("a wrong number keeps the default, the right ones are taken")
        << QStringList{"--exposure", "two", "--target", "0.3", "--tolerance", "-0.1"}
        << QStringList{"exposureSpin=2.000 s", "targetSpin=0.300", "toleranceSpin=0.050"}
        << QStringList{taken + "--exposure needs a positive number, not \"two\"",
                       taken + "--tolerance needs a positive number, not \"-0.1\""};
    QTest::newRow("limits crossed: taken as given, and said")
        << QStringList{"--min-exposure", "5", "--max-exposure", "1"}
        << QStringList{"minExposureSpin=5.000 s", "maxExposureSpin=1.000 s"}
        << QStringList{taken + "--min-exposure is longer than --max-exposure"};
    QTest::newRow("table line keys, any case")
        << QStringList{"--table", "/tmp/f.vfc", "--camera-type", "dslr", "--iso-bin", " 800 "}
        << QStringList{"tableEdit=/tmp/f.vfc", "cameraTypeCombo=DSLR", "isoBinEdit=800"} << QStringList();
    QTest::newRow("a flat set needs a whole number of frames")
        << QStringList{"--capture", "five", "--out", "/tmp/flats"}
        << QStringList{"captureSpin=levels only", "outEdit=/tmp/flats"}
        << QStringList{taken + "--capture needs a whole number of frames, not \"five\""};
    QTest::newRow("an unknown option, the others still taken")
        << QStringList{"--bogus", "--night", "--capture", "3"}
        << QStringList{"nightButton=on", "captureSpin=3"} << QStringList{taken + "Unknown option 'bogus'."};
}

// The window reads its arguments as the command line does (the command line's own refusals are pinned in
// tst_assistantcli): it starts with what is right and names what is wrong; what a run still lacks, its fields ask.
void AssistantWindowTest::argumentsFillTheFields()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, logged);

    window->takeArguments(parseAssistantArguments(QStringList{"velmora-flat-assistant", "--gui"} + arguments));
    for (const QString &entry : shown) {
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        auto *widget = window->findChild<QWidget *>(name);
        QVERIFY2(widget, qPrintable(name));
        QString text;
        if (auto *edit = qobject_cast<QLineEdit *>(widget))
            text = edit->text();
        else if (auto *spin = qobject_cast<QAbstractSpinBox *>(widget))
            text = spin->text();
        else if (auto *combo = qobject_cast<QComboBox *>(widget))
            text = combo->currentText();
        else if (auto *pushButton = qobject_cast<QPushButton *>(widget))
            text = pushButton->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
        QCOMPARE(name + '=' + text, entry);
    }
    const QString logText = find<QPlainTextEdit>("logView")->toPlainText();
    QCOMPARE(logText.split(QLatin1Char('\n'), Qt::SkipEmptyParts), logged);
}

void AssistantWindowTest::startNeedsACameraAndALightBox()
{
    find<QComboBox>("cameraCombo")->setCurrentText(QStringLiteral("Model Camera"));
    click("startButton");
    QCOMPARE(assistant->state(), FlatAssistant::State::Idle);
    QVERIFY2(window->statusBar()->currentMessage().contains(QStringLiteral("light box")),
             qPrintable(window->statusBar()->currentMessage()));

    // A flat set needs a folder to go to.
    find<QComboBox>("lightCombo")->setCurrentText(QStringLiteral("VELMORA Flat Box"));
    find<QSpinBox>("captureSpin")->setValue(5);
    click("startButton");
    QCOMPARE(assistant->state(), FlatAssistant::State::Idle);
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Choose a folder for the flat set first."));
    QVERIFY(!find<QProgressBar>("captureBar")->isVisible());
}

void AssistantWindowTest::startHandsTheChosenOptionsToTheModule()
{
    AssistantOptions given;
    given.indiHost = QStringLiteral("127.0.0.1");
    given.indiPort = 1; // nobody listens there: the run fails at once, naming the server
    given.camera = QStringLiteral("Model Camera");
    given.light = QStringLiteral("VELMORA Flat Box");
    given.wheel = QStringLiteral("Filter Simulator");
    given.filters = QStringList{QStringLiteral("Red"), QStringLiteral("Ha")};
    given.search.exposure = 3;
    given.search.target = 0.4;
    given.search.tolerance = 0.1;
    given.tablePath = QStringLiteral("/tmp/never-written.vfc");
    given.cameraType = QStringLiteral("DSLR");
    given.isoBin = QStringLiteral("ISO 800");
    given.capture = 3;
    given.outDir = QStringLiteral("/tmp/never-made");
    window->setOptions(given);

    click("startButton");
    const AssistantOptions taken = assistant->options();
    QCOMPARE(taken.indiPort, 1);
    QCOMPARE(taken.camera, given.camera);
    QCOMPARE(taken.light, given.light);
    QCOMPARE(taken.wheel, given.wheel);
    QCOMPARE(taken.filters, given.filters);
    QCOMPARE(taken.search.exposure, 3.0);
    QCOMPARE(taken.search.target, 0.4);
    QCOMPARE(taken.search.tolerance, 0.1);
    QCOMPARE(taken.tablePath, given.tablePath);
    QCOMPARE(taken.cameraType, given.cameraType);
    QCOMPARE(taken.isoBin, given.isoBin);
    QCOMPARE(taken.capture, 3);
    QCOMPARE(taken.outDir, given.outDir);
    QTRY_COMPARE_WITH_TIMEOUT(assistant->state(), FlatAssistant::State::Failed, 15000);
    QTRY_VERIFY(find<QPushButton>("startButton")->isEnabled());
    QVERIFY2(window->statusBar()->currentMessage().contains(assistant->errorText()),
             qPrintable(window->statusBar()->currentMessage()));
}

void AssistantWindowTest::saveToTableAnswers_data()
{
    QTest::addColumn<QString>("answer"); // the path typed into the file dialog, relative to a scratch folder
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("saved");

    QTest::newRow("cancelled: nothing written") << "" << true << false;
    QTest::newRow("a folder that is not there: the error is shown") << "missing/flats.vfc" << false << false;
}

// The lines a real run finds reach the file in runThroughTheWindow; here, what the dialog's answers lead to.
void AssistantWindowTest::saveToTableAnswers()
{
    QFETCH(QString, answer);
    QFETCH(bool, cancel);
    QFETCH(bool, saved);

    QTemporaryDir folder;
    emit assistant->filterFinished(resultOf(QStringLiteral("Red 143 2 0.497 1 done")));
    emit assistant->stateChanged(FlatAssistant::State::Finished);
    if (cancel)
        DialogResponder::instance().queueFileCancel();
    else
        DialogResponder::instance().queueFileAnswer(folder.filePath(answer));
    click("saveButton");

    const QList<ShownDialog> shown = DialogResponder::instance().shown();
    QVERIFY(!shown.isEmpty());
    QCOMPARE(shown.first().className, QStringLiteral("QFileDialog"));
    QCOMPARE(shown.first().title, QStringLiteral("Save to table"));
    QCOMPARE(shown.first().nameFilters, QStringList{QStringLiteral("Flat tables (*.vfc)")});
    QCOMPARE(find<QLineEdit>("tableEdit")->text().isEmpty(), !saved);
    const QList<ShownDialog> boxes = DialogResponder::instance().shownMessageBoxes();
    if (cancel) {
        QVERIFY(boxes.isEmpty());
        QVERIFY(QDir(folder.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
    } else if (!saved) {
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes.first().icon, QMessageBox::Warning);
        QVERIFY2(boxes.first().text.startsWith(QStringLiteral("The table was not saved: ")), qPrintable(boxes.first().text));
        QVERIFY(!QFile::exists(folder.filePath(answer)));
    }
}

void AssistantWindowTest::listDevicesShowsWhatTheServerOffers()
{
    IndiServer server;
    QVERIFY2(server.start({QStringLiteral("indi_simulator_wheel"), QStringLiteral("indi_simulator_lightpanel"),
                           QStringLiteral("indi_simulator_ccd")},
                          QStringLiteral("Filter Simulator")),
             qPrintable(server.errorText()));
    // The lister sorts the devices by the properties they define, which these drivers do once connected.
    for (const char *device : {"Filter Simulator", "Light Panel Simulator", "CCD Simulator"})
        QVERIFY(server.set(QLatin1String(device) + QStringLiteral(".CONNECTION.CONNECT=On")));
    QVERIFY(server.waitFor({QStringLiteral("Filter Simulator.CONNECTION.CONNECT==1"),
                            QStringLiteral("Light Panel Simulator.CONNECTION.CONNECT==1"),
                            QStringLiteral("CCD Simulator.CONNECTION.CONNECT==1")},
                           10));
    QStringList wheelNames;
    for (int slot = 1; slot <= 8; ++slot)
        wheelNames.append(server.value(QStringLiteral("Filter Simulator.FILTER_NAME.FILTER_SLOT_NAME_%1").arg(slot)));

    find<QLineEdit>("hostEdit")->setText(QStringLiteral("127.0.0.1"));
    find<QSpinBox>("portSpin")->setValue(server.port());
    click("listButton");
    QTRY_VERIFY_WITH_TIMEOUT(find<QPushButton>("listButton")->isEnabled(), 10000);

    QCOMPARE(find<QComboBox>("cameraCombo")->currentText(), QStringLiteral("CCD Simulator"));
    QCOMPARE(find<QComboBox>("lightCombo")->currentText(), QStringLiteral("Light Panel Simulator"));
    // The CCD simulator has a wheel of its own; the dedicated wheel is chosen first.
    QCOMPARE(find<QComboBox>("wheelCombo")->currentText(), QStringLiteral("Filter Simulator"));
    QCOMPARE(find<QComboBox>("wheelCombo")->findText(QStringLiteral("CCD Simulator")) > 0, true);
    QCOMPARE(find<QLabel>("serverStatus")->text(), QStringLiteral("Cameras: 1, light boxes: 1, filter wheels: 2"));
    auto *filters = find<QListWidget>("filterList");
    QStringList listed;
    for (int i = 0; i < filters->count(); ++i) {
        listed.append(filters->item(i)->text());
        QCOMPARE(filters->item(i)->checkState(), Qt::Checked);
    }
    QCOMPARE(listed, wheelNames);
    // Unticking a filter leaves it out of the run.
    filters->item(0)->setCheckState(Qt::Unchecked);
    QCOMPARE(window->chosenOptions().filters, wheelNames.mid(1));
}

namespace {

// The project's test camera makes frames from the model of a box, lit by INDI's light panel simulator, behind INDI's
// filter wheel simulator. Exposures are 20 times shorter than the model sees them.
bool startSimulators(IndiServer &server)
{
    qputenv("VELMORA_TEST_CCD_LIGHT", "Light Panel Simulator");
    qputenv("VELMORA_TEST_CCD_TIME_SCALE", "20");
    if (!server.start({QStringLiteral(VELMORA_TEST_CAMERA), QStringLiteral("indi_simulator_lightpanel"),
                       QStringLiteral("indi_simulator_wheel")},
                      QStringLiteral("Model Camera")))
        return false;
    for (const char *device : {"Filter Simulator", "Light Panel Simulator", "Model Camera"}) {
        if (!server.set(QLatin1String(device) + QStringLiteral(".CONNECTION.CONNECT=On")))
            return false;
    }
    return true;
}

AssistantOptions simulatorOptions(int port, const QStringList &filters)
{
    AssistantOptions options;
    options.indiPort = port;
    options.camera = QStringLiteral("Model Camera");
    options.light = QStringLiteral("Light Panel Simulator");
    options.wheel = QStringLiteral("Filter Simulator");
    options.filters = filters;
    options.search.exposure = 0.1;
    options.search.minExposure = 0.025;
    options.search.maxExposure = 3;
    return options;
}

} // namespace

// A whole run started from the window.
void AssistantWindowTest::runThroughTheWindow()
{
    IndiServer server;
    QVERIFY2(startSimulators(server), qPrintable(server.errorText()));
    QTemporaryDir flatSet;
    AssistantOptions options = simulatorOptions(server.port(), {QStringLiteral("Red"), QStringLiteral("Green")});
    options.capture = 2;
    options.outDir = flatSet.path();
    window->setOptions(options);
    click("startButton");
    auto *bar = find<QProgressBar>("captureBar");
    QVERIFY(bar->isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(assistant->state(), FlatAssistant::State::Finished, 30000);

    // The bar went over the whole flat set: two flats for each filter, two flat-darks of their one exposure.
    QCOMPARE(bar->value(), 6);
    QCOMPARE(bar->maximum(), 6);
    QCOMPARE(bar->text(), QStringLiteral("6 of 6 frames of the flat set"));
    QCOMPARE(QDir(flatSet.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{QStringLiteral("Green"), QStringLiteral("Red"), QStringLiteral("darks")}));

    // The table shows both filters done, as the module found them.
    const QList<FilterResult> results = assistant->results();
    QCOMPARE(results.size(), 2);
    auto *table = find<QTableView>("resultsTable");
    QCOMPARE(rowCount(*table), 2);
    for (int row = 0; row < 2; ++row) {
        QCOMPARE(rowTexts(*table, row),
                 (QStringList{results[row].filter, QString::number(results[row].level), "0.1",
                              QString::number(results[row].figure, 'f', 3), QString::number(results[row].frames),
                              "Done"}));
    }
    // The chart shows the last filter's frames, and the curve learned from them.
    auto *chart = find<FlatChart>("flatChart");
    QCOMPARE(chart->shownFilter(), QStringLiteral("Green"));
    QCOMPARE(chart->framesSeries()->count() + chart->saturatedSeries()->count(), results[1].frames);
    QCOMPARE(chart->curveSeries()->count(), 52);
    QVERIFY(find<QPlainTextEdit>("logView")->toPlainText().contains(results[0].reportLine()));

    // Save to table… merges the lines into the file and keeps the others.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("flats.vfc"));
    QFile existing(path);
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("CCD 1x1 Red 5 10\nDSLR 800 Blue 3 90\n");
    existing.close();
    DialogResponder::instance().queueFileAnswer(path);
    click("saveButton");
    QVERIFY(DialogResponder::instance().shownMessageBoxes().isEmpty());
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines, (QStringList{QStringLiteral("CCD 1x1 Red 0.1 %1").arg(results[0].level),
                                 QStringLiteral("DSLR 800 Blue 3 90"),
                                 QStringLiteral("CCD 1x1 Green 0.1 %1").arg(results[1].level)}));
}

// Stop ends the run at once: the lamp the run switched on goes off, and the filter being searched says so.
void AssistantWindowTest::stopFromTheWindow()
{
    IndiServer server;
    QVERIFY2(startSimulators(server), qPrintable(server.errorText()));
    QVERIFY(server.set(QStringLiteral("Light Panel Simulator.FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF=On")));
    window->setOptions(simulatorOptions(server.port(), {QStringLiteral("H_Alpha"), QStringLiteral("Red")}));
    click("startButton");
    // Both filters wait from the start; the first is searched.
    auto *table = find<QTableView>("resultsTable");
    QCOMPARE(rowCount(*table), 2);
    QCOMPARE(rowTexts(*table, 1), (QStringList{"Red", "", "", "", "0", "Waiting"}));
    QTRY_COMPARE_WITH_TIMEOUT(rowTexts(*table, 0).last(), QStringLiteral("Searching…"), 20000);
    QVERIFY(find<QPushButton>("stopButton")->isEnabled());
    click("stopButton");

    QTRY_COMPARE_WITH_TIMEOUT(assistant->state(), FlatAssistant::State::Stopped, 5000);
    QVERIFY(server.waitFor({QStringLiteral("Light Panel Simulator.FLAT_LIGHT_CONTROL.FLAT_LIGHT_OFF==1")}, 5));
    // The filter being searched says the run stopped; the next one was never begun.
    QCOMPARE(rowCount(*table), 2);
    QCOMPARE(rowTexts(*table, 0).last(), QStringLiteral("Stopped"));
    QCOMPARE(rowTexts(*table, 1), (QStringList{"Red", "", "", "", "0", "Stopped"}));
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("Stopped"));
    QVERIFY(find<QPushButton>("startButton")->isEnabled());
    QVERIFY(!find<QPushButton>("stopButton")->isEnabled());
}

void AssistantWindowTest::listDevicesWithoutAServerSaysSo()
{
    find<QSpinBox>("portSpin")->setValue(1);
    click("listButton");
    QTRY_VERIFY_WITH_TIMEOUT(find<QPushButton>("listButton")->isEnabled(), 10000);
    QCOMPARE(find<QLabel>("serverStatus")->text(), QStringLiteral("no INDI server on 127.0.0.1:1"));
    QCOMPARE(find<QComboBox>("cameraCombo")->count(), 0);
}

void AssistantWindowTest::nightButtonSwitchesTheLook_data()
{
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("night");

    QTest::addColumn<bool>("startAtNight"); // as --night does, before the window is shown

    QTest::newRow("once: night") << 1 << true << false;
    QTest::newRow("twice: day again") << 2 << false << false;
    QTest::newRow("started at night") << 0 << true << true;
    QTest::newRow("started at night, pressed: day") << 1 << false << true;
}

void AssistantWindowTest::nightButtonSwitchesTheLook()
{
    QFETCH(int, presses);
    QFETCH(bool, night);
    QFETCH(bool, startAtNight);

    if (startAtNight) {
        window = std::make_unique<AssistantWindow>(assistant.get());
        window->setNightTheme(true);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    for (int i = 0; i < presses; ++i)
        find<QPushButton>("nightButton")->click();
    QCOMPARE(window->nightTheme(), night);
    QCOMPARE(find<QPushButton>("nightButton")->isChecked(), night);
    QCOMPARE(window->styleSheet(), assistanttheme::windowSheet(night));
    // Red on black at night, the panel's grey by day; the chart follows.
    QVERIFY(window->styleSheet().contains(night ? QStringLiteral("rgb(0, 0, 0)") : QStringLiteral("rgb(80, 80, 80)")));
    // What is drawn: the Start button's face in the sheet's button colour.
    const QImage face = find<QPushButton>("startButton")->grab().toImage();
    QCOMPARE(face.pixelColor(face.width() / 2, 4), night ? QColor(140, 40, 40) : QColor(98, 136, 163));
    // Stop, disabled while idle, in the panel's grey for a disabled button at night.
    const QImage stopFace = find<QPushButton>("stopButton")->grab().toImage();
    QCOMPARE(stopFace.pixelColor(stopFace.width() / 2, 4), night ? QColor(80, 80, 80) : QColor(110, 110, 110));
    const QColor chartBackground = find<FlatChart>("flatChart")->chart()->backgroundBrush().color();
    QCOMPARE(chartBackground, assistanttheme::chartColours(night).background);
    QCOMPARE(find<FlatChart>("flatChart")->framesSeries()->color(), assistanttheme::chartColours(night).frames);
}

void AssistantWindowTest::italianTexts_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("italian");

    QTest::newRow("start") << "startButton" << "Avvia";
    QTest::newRow("stop") << "stopButton" << "Ferma";
    QTest::newRow("save") << "saveButton" << "Salva nella tabella…";
    QTest::newRow("night") << "nightButton" << "Notte";
    QTest::newRow("list devices") << "listButton" << "Elenca dispositivi";
}

void AssistantWindowTest::italianTexts()
{
    QFETCH(QString, objectName);
    QFETCH(QString, italian);

    QVERIFY(assistanttranslation::install(*qApp, QStringLiteral(VELMORA_ASSISTANT_ITALIAN_QM)));
    auto italianWindow = std::make_unique<AssistantWindow>(assistant.get());
    auto *pushButton = italianWindow->findChild<QPushButton *>(objectName);
    QVERIFY(pushButton);
    QCOMPARE(pushButton->text(), italian);
    QCOMPARE(italianWindow->windowTitle(), QStringLiteral("VELMORA Flat Assistant"));
    auto *table = italianWindow->findChild<QTableView *>(QStringLiteral("resultsTable"));
    QCOMPARE(headerText(*table, 0), QStringLiteral("Filtro"));
    emit assistant->stateChanged(FlatAssistant::State::Exposing);
    QCOMPARE(italianWindow->statusBar()->currentMessage(), QStringLiteral("Esposizione in corso…"));
    QCOMPARE(italianWindow->findChild<FlatChart *>()->framesSeries()->name(), QStringLiteral("Pose"));
    assistanttranslation::uninstall(*qApp);
}

VELMORA_TEST_MAIN(AssistantWindowTest)

#include "tst_assistantwindow.moc"
