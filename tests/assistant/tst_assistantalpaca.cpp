// Folder mode with the level sent through Alpaca: the real window's Alpaca server drives the box simulator, the test
// plays the capture program that writes FITS frames into the folder.
#include "alpacaservice.h"
#include "alpacasettings.h"
#include "boxwatcher.h"
#include "dialogs.h"
#include "flatassistant.h"
#include "flatboxsim.h"
#include "flatmodel.h"
#include "testmain.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QFile>
#include <QSlider>

class AssistantAlpacaTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("VELMORA_FLAT_EXTRA_PORTS"); }
    void folderWithThePanelsAlpacaServer_data();
    void folderWithThePanelsAlpacaServer();
};

void AssistantAlpacaTest::folderWithThePanelsAlpacaServer_data()
{
    QTest::addColumn<bool>("lampOnBefore"); // the user lit the lamp: the run leaves it on
    QTest::newRow("lamp off before") << false;
    QTest::newRow("lamp on before") << true;
}

void AssistantAlpacaTest::folderWithThePanelsAlpacaServer()
{
    QFETCH(bool, lampOnBefore);
    QTemporaryDir files;
    qputenv("XDG_DATA_HOME", QFile::encodeName(files.filePath(QStringLiteral("data"))));
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    const QString link = files.filePath(QStringLiteral("panel-box"));
    QVERIFY(QFile::link(box.port(), link));
    qputenv("VELMORA_FLAT_EXTRA_PORTS", QFile::encodeName(link));
    DialogResponder::instance().clear();
    auto window = makeWindow(QStringLiteral("true"));
    const std::unique_ptr<BoxWatcher> watcher(watchForLostBox(*window));
    alpaca::Settings settings;
    settings.port = 0;
    settings.discoveryPort = 0;
    auto server = AlpacaService::start(window->boxController(), settings);
    QVERIFY(server);
    auto *lampSwitch = child<QCheckBox>(*window, "MT_lampSwitch");
    auto *slider = child<QSlider>(*window, "MT_lampLevelSlider");
    QTRY_VERIFY_WITH_TIMEOUT(lampSwitch->isEnabled(), 10000);
    if (lampOnBefore)
        lampSwitch->setChecked(true);

    const QString folder = files.filePath(QStringLiteral("frames"));
    QVERIFY(QDir().mkpath(folder));
    const QString table = files.filePath(QStringLiteral("flats.vfc"));
    AssistantOptions options;
    options.watchDir = folder;
    options.alpacaHost = QStringLiteral("127.0.0.1");
    options.alpacaPort = server->httpPort();
    options.filters = QStringList{"Luminance", "OIII"};
    options.tablePath = table;
    FlatAssistant assistant;
    assistant.setOptions(options);

    const flatmodel::BoxModel model = flatmodel::namedBox("gamma");
    const flatmodel::CameraModel camera;
    int written = 0;
    QList<int> levelsShown;
    const QRegularExpression ask(QStringLiteral("^(.+): take a frame at level (\\d+), exposure ([0-9.]+) s"));
    connect(&assistant, &FlatAssistant::progressLine, [&](const QString &line) {
        const QRegularExpressionMatch match = ask.match(line);
        if (!match.hasMatch())
            return;
        // The capture program's frame shows the level the panel shows.
        levelsShown.append(slider->value());
        std::string problem;
        const std::string path = QFile::encodeName(folder + "/flat" + QString::number(++written) + ".fits").toStdString();
        QVERIFY(flatmodel::writeFitsFile(path, model, camera, match.captured(1).toStdString(), slider->value(),
                                         match.captured(3).toDouble(), unsigned(written), lampSwitch->isChecked(),
                                         problem));
    });
    assistant.start();
    QVERIFY(QTest::qWaitFor([&assistant] { return FlatAssistant::isFinished(assistant.state()); }, 30000));
    QVERIFY2(assistant.errorText().isEmpty(), qPrintable(assistant.errorText()));
    QCOMPARE(assistant.exitCode(), 0);
    const QList<FilterResult> results = assistant.results();
    QCOMPARE(results.size(), 2);
    QCOMPARE(results[1].tableFilter, QStringLiteral("OIII"));
    QVERIFY(results[1].exposure > 2);
    QFile file(table);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             QStringLiteral("CCD 1x1 Luminance %1 %2\nCCD 1x1 OIII %3 %4\n")
                 .arg(QString::number(results[0].exposure, 'g', 4))
                 .arg(results[0].level)
                 .arg(QString::number(results[1].exposure, 'g', 4))
                 .arg(results[1].level));
    // Every frame was taken at the level the assistant asked for; the lamp is as the user had it.
    QCOMPARE(levelsShown.size(), results[0].frames + results[1].frames);
    QCOMPARE(levelsShown.last(), results[1].level);
    QTRY_COMPARE(lampSwitch->isChecked(), lampOnBefore);
}

VELMORA_TEST_MAIN(AssistantAlpacaTest)
#include "tst_assistantalpaca.moc"
