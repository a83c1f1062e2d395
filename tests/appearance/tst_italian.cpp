// The window with the Italian translation installed, as start-up installs it when "velmoralang_it.qm" lies beside
// the program: every text of the form and of the procedures shows its Italian translation where it is shown,
// while the camera types, numbers and binning sizes stay as they are.
#include "dialogs.h"
#include "fakeflat.h"
#include "fakeports.h"
#include "formtexts.h"
#include "testmain.h"
#include "windowtest.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTranslator>

namespace {

const char context[] = "VelmoraFlat";
constexpr quint16 boxVendor = 0x2341;
constexpr quint16 otherVendor = 0x0403;

// Records the status-bar text of the window being built or shown whenever a modal dialog appears: some status texts
// are visible only behind the message boxes of the port search.
class StatusAtDialogs : public QObject
{
public:
    QStringList texts;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QDialog *>(watched)) {
            for (QWidget *topLevel : QApplication::topLevelWidgets())
                if (auto *window = qobject_cast<VelmoraFlat *>(topLevel))
                    texts.append(VelmoraFlatTestAccess::statusText(*window));
        }
        return QObject::eventFilter(watched, event);
    }
};

// Takes the Italian translation out of the application for one scope, as when the file is not beside the program.
class EnglishScope
{
public:
    explicit EnglishScope(QTranslator &translator)
        : m_translator(translator)
    {
        QCoreApplication::removeTranslator(&m_translator);
    }
    ~EnglishScope() { QCoreApplication::installTranslator(&m_translator); }
    EnglishScope(const EnglishScope &) = delete;
    EnglishScope &operator=(const EnglishScope &) = delete;

private:
    QTranslator &m_translator;
};

enum class Scenario {
    StartWithoutPorts,        // the constructor's search finds no serial port
    AutoSearchWithoutBox,     // the automatic search finds only ports of other makers
    AutoSearchWithBox,        // the automatic search connects the box
    StartWithoutAutoSearch,   // ports present, automatic search off
    Disconnect,               // connected, then the disconnect button
    ConnectRefused,           // the connect button, and the box refuses
    DisconnectRefused,        // connected, then the disconnect button, and the box refuses
    OpenTooLargeFile,         // the open button with a file of more than 8 MiB
    OpenBinaryFile,           // the open button with a file that is not text
    SaveIntoMissingDirectory, // the save button with a file in a folder that does not exist
};

struct ScenarioResult
{
    std::unique_ptr<VelmoraFlat> window;
    QStringList statusAtDialogs;
    QString fileName; // the configuration file that the scenario chose
};

} // namespace

Q_DECLARE_METATYPE(Scenario)

class ItalianTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void formTextsAreItalian_data();
    void formTextsAreItalian();
    void tabsAndPictureButtonsStayWithoutText();
    void statusTextsAreItalian_data();
    void statusTextsAreItalian();
    void bothDisconnectedTextsAreSeparateEntries();
    void messageBoxesAreItalian_data();
    void messageBoxesAreItalian();
    void selectionListsTranslateOnlyTheirWords_data();
    void selectionListsTranslateOnlyTheirWords();
    void luminanceIsTheStartFilter();
    void nightVisionButtonTextsAreItalian();
    void fileDialogsAreItalian_data();
    void fileDialogsAreItalian();
    void flatTableLinesBelongToTheirLanguage_data();
    void flatTableLinesBelongToTheirLanguage();

private:
    QString italian(const char *source) const;
    ScenarioResult run(Scenario scenario);
    void pressOpen(VelmoraFlat &window, const QString &fileName);
    void pressSave(VelmoraFlat &window, const QString &fileName);

    QTranslator m_translator; // installed on the application for the whole test
    StatusAtDialogs m_statusAtDialogs;
    QTemporaryDir m_files;
};

void ItalianTest::initTestCase()
{
    QVERIFY2(m_translator.load(QStringLiteral(VELMORA_ITALIAN_QM)), VELMORA_ITALIAN_QM);
    QVERIFY(QCoreApplication::installTranslator(&m_translator));
    qApp->installEventFilter(&m_statusAtDialogs);
    QVERIFY(m_files.isValid());
    // The file dialogs start in the working directory.
    QVERIFY(QDir::setCurrent(m_files.path()));
}

void ItalianTest::init()
{
    fakeflat::reset();
    fakeports::set({SerialPortEntry{QStringLiteral("ttyUSB7"), otherVendor}});
    DialogResponder::instance().clear();
    m_statusAtDialogs.texts.clear();
}

void ItalianTest::cleanupTestCase()
{
    qApp->removeEventFilter(&m_statusAtDialogs);
}

// The Italian text of a source text, straight from the translation file; a marker when the file has none, so that
// a comparison with it fails and names the text.
QString ItalianTest::italian(const char *source) const
{
    const QString translation = m_translator.translate(context, source);
    if (translation.isEmpty())
        return QStringLiteral("<no Italian translation of \"%1\">").arg(QLatin1String(source));
    return translation;
}

void ItalianTest::formTextsAreItalian_data()
{
    QTest::addColumn<QString>("objectName"); // empty: the window itself
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QByteArray>("source");

    for (const FormTextRow &row : formTextRows) {
        if (!*row.source)
            continue; // set without a lookup: the tab texts and the picture-only widgets
        const bool window = qstrcmp(row.object, "VelmoraFlat") == 0;
        QTest::addRow("%s %s", row.object, row.property)
            << (window ? QString() : QString::fromLatin1(row.object)) << QByteArray(row.property)
            << QByteArray(row.source);
    }
}

void ItalianTest::formTextsAreItalian()
{
    QFETCH(QString, objectName);
    QFETCH(QByteArray, property);
    QFETCH(QByteArray, source);

    auto window = makeWindow();
    QObject *widget = objectName.isEmpty() ? window.get() : child<QWidget>(*window, qPrintable(objectName));
    QVERIFY(widget);
    QCOMPARE(widget->property(property.constData()).toString(), italian(source.constData()));
}

void ItalianTest::tabsAndPictureButtonsStayWithoutText()
{
    auto window = makeWindow();
    auto *tabs = child<QTabWidget>(*window, "tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 4);
    for (int index = 0; index < tabs->count(); ++index) {
        QVERIFY2(tabs->tabText(index).isEmpty(), qPrintable(tabs->tabText(index)));
        QVERIFY(!tabs->tabIcon(index).isNull());
    }
    QCOMPARE(child<QAbstractButton>(*window, "MT_lampSwitch")->text(), QString());
    QCOMPARE(child<QAbstractButton>(*window, "qtLogo")->text(), QString());
    QCOMPARE(child<QGroupBox>(*window, "FT_infoGroup")->title(), QString());
}

ScenarioResult ItalianTest::run(Scenario scenario)
{
    ScenarioResult result;
    QString autoSearch;
    switch (scenario) {
    case Scenario::StartWithoutPorts:
        fakeports::clear();
        break;
    case Scenario::AutoSearchWithoutBox:
        autoSearch = QStringLiteral("true");
        break;
    case Scenario::AutoSearchWithBox:
    case Scenario::Disconnect:
    case Scenario::DisconnectRefused:
        fakeports::set({SerialPortEntry{QStringLiteral("ttyACM0"), boxVendor}});
        autoSearch = QStringLiteral("true");
        break;
    default:
        break;
    }
    result.window = makeWindow(autoSearch);
    VelmoraFlat &window = *result.window;

    switch (scenario) {
    case Scenario::Disconnect:
        pressButton(window, "MT_serialDisconnect");
        break;
    case Scenario::DisconnectRefused:
        fakeflat::queueStatus(QStringLiteral("disconnect"), 1);
        pressButton(window, "MT_serialDisconnect");
        break;
    case Scenario::ConnectRefused:
        fakeflat::queueStatus(QStringLiteral("connect"), 1);
        pressButton(window, "MT_serialConnect");
        break;
    case Scenario::OpenTooLargeFile: {
        result.fileName = m_files.filePath(QStringLiteral("large.vfc"));
        QFile file(result.fileName);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray(8 * 1024 * 1024 + 1, 'a'));
        file.close();
        pressOpen(window, result.fileName);
        break;
    }
    case Scenario::OpenBinaryFile: {
        result.fileName = m_files.filePath(QStringLiteral("binary.vfc"));
        QFile file(result.fileName);
        if (file.open(QIODevice::WriteOnly))
            file.write(QByteArray("DSLR 100\0 Luminanza 2 120\n", 26));
        file.close();
        pressOpen(window, result.fileName);
        break;
    }
    case Scenario::SaveIntoMissingDirectory:
        result.fileName = m_files.filePath(QStringLiteral("missing/flat.vfc"));
        pressSave(window, result.fileName);
        break;
    default:
        break;
    }
    result.statusAtDialogs = m_statusAtDialogs.texts;
    return result;
}

// Open and save work while the lamp is on; the lamp-dependent controls are enabled as the lamp switch does.
void ItalianTest::pressOpen(VelmoraFlat &window, const QString &fileName)
{
    VelmoraFlatTestAccess::setLampControlsEnabled(window, true);
    DialogResponder::instance().queueFileAnswer(fileName);
    pressButton(window, "ST_openButton");
}

void ItalianTest::pressSave(VelmoraFlat &window, const QString &fileName)
{
    VelmoraFlatTestAccess::setLampControlsEnabled(window, true);
    DialogResponder::instance().queueFileAnswer(fileName);
    pressButton(window, "ST_saveButton");
}

void ItalianTest::statusTextsAreItalian_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<bool>("behindMessageBox"); // read while the search's warning is open, else afterwards
    QTest::addColumn<QByteArray>("source");

    QTest::newRow("built, behind the search warning")
        << Scenario::StartWithoutPorts << true << QByteArray("FLAT BOX DISCONNECTED");
    QTest::newRow("trying the ports, behind the failure warning")
        << Scenario::AutoSearchWithoutBox << true << QByteArray("FLAT BOX CONNECTING...");
    QTest::newRow("connected by the automatic search")
        << Scenario::AutoSearchWithBox << false << QByteArray(" FLAT BOX CONNECTED ");
    QTest::newRow("start without automatic search")
        << Scenario::StartWithoutAutoSearch << false << QByteArray(" FLAT BOX DISCONNECTED ");
    QTest::newRow("search without box") << Scenario::AutoSearchWithoutBox << false << QByteArray(" FLAT BOX DISCONNECTED ");
    QTest::newRow("disconnected") << Scenario::Disconnect << false << QByteArray(" FLAT BOX DISCONNECTED ");
}

void ItalianTest::statusTextsAreItalian()
{
    QFETCH(Scenario, scenario);
    QFETCH(bool, behindMessageBox);
    QFETCH(QByteArray, source);

    const ScenarioResult result = run(scenario);
    if (behindMessageBox) {
        QVERIFY(!result.statusAtDialogs.isEmpty());
        QCOMPARE(result.statusAtDialogs.constFirst(), italian(source.constData()));
    } else {
        QCOMPARE(VelmoraFlatTestAccess::statusText(*result.window), italian(source.constData()));
    }
}

// The status text at start and the one after a disconnection are two texts, the second with a blank on each side.
void ItalianTest::bothDisconnectedTextsAreSeparateEntries()
{
    const QString atStart = italian("FLAT BOX DISCONNECTED");
    const QString afterDisconnection = italian(" FLAT BOX DISCONNECTED ");
    QCOMPARE(afterDisconnection, QLatin1Char(' ') + atStart + QLatin1Char(' '));
    QVERIFY(!atStart.startsWith(QLatin1Char(' ')) && !atStart.endsWith(QLatin1Char(' ')));
    QVERIFY(atStart != QLatin1String("FLAT BOX DISCONNECTED"));

    fakeports::clear();
    const ScenarioResult result = run(Scenario::StartWithoutPorts);
    QCOMPARE(result.statusAtDialogs, QStringList{atStart});
    QCOMPARE(VelmoraFlatTestAccess::statusText(*result.window), afterDisconnection);
}

void ItalianTest::messageBoxesAreItalian_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QByteArray>("title");
    QTest::addColumn<QByteArray>("text");   // with %1 for the file name and %2 for the reason
    QTest::addColumn<QByteArray>("reason"); // empty: Qt's own, untranslated reason

    QTest::newRow("no serial port") << Scenario::StartWithoutPorts << QMessageBox::Warning
                                    << QByteArray("Serial Port Search Failed")
                                    << QByteArray("No serial port found. Please check the VELMORA flat box "
                                                  "connection cable and power supply")
                                    << QByteArray();
    QTest::newRow("no box answered") << Scenario::AutoSearchWithoutBox << QMessageBox::Warning
                                     << QByteArray("Automatic Connection Failed")
                                     << QByteArray("Flat Box serial port not found. Please check the VELMORA flat "
                                                   "box connection cable and power supply")
                                     << QByteArray();
    QTest::newRow("connect refused") << Scenario::ConnectRefused << QMessageBox::Critical
                                     << QByteArray("Connection Error")
                                     << QByteArray("Flat Box connection problem or wrong communication port. "
                                                   "Please retry")
                                     << QByteArray();
    QTest::newRow("disconnect refused") << Scenario::DisconnectRefused << QMessageBox::Critical
                                        << QByteArray("Connection Error")
                                        << QByteArray("Flat Box disconnection problem. Please retry") << QByteArray();
    QTest::newRow("open, file too large") << Scenario::OpenTooLargeFile << QMessageBox::Warning
                                          << QByteArray("Open Configuration Failed")
                                          << QByteArray("The configuration file %1 could not be opened: %2")
                                          << QByteArray("the file is larger than 8 MiB");
    QTest::newRow("open, not a text file") << Scenario::OpenBinaryFile << QMessageBox::Warning
                                           << QByteArray("Open Configuration Failed")
                                           << QByteArray("The configuration file %1 could not be opened: %2")
                                           << QByteArray("the file is not a text file");
    QTest::newRow("save, missing folder") << Scenario::SaveIntoMissingDirectory << QMessageBox::Warning
                                          << QByteArray("Save Configuration Failed")
                                          << QByteArray("The configuration could not be saved to %1: %2")
                                          << QByteArray();
}

void ItalianTest::messageBoxesAreItalian()
{
    QFETCH(Scenario, scenario);
    QFETCH(QMessageBox::Icon, icon);
    QFETCH(QByteArray, title);
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, reason);

    const ScenarioResult result = run(scenario);
    const QList<ShownDialog> boxes = DialogResponder::instance().shownMessageBoxes();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first().icon, icon);
    QCOMPARE(boxes.first().title, italian(title.constData()));

    // The file name and Qt's own reason are inserted into the Italian sentence; the program's reasons are Italian.
    const QString pattern =
        QRegularExpression::escape(italian(text.constData()))
            .replace(QLatin1String("\\%1"), QRegularExpression::escape(QDir::toNativeSeparators(result.fileName)))
            .replace(QLatin1String("\\%2"),
                     reason.isEmpty() ? QStringLiteral(".+") : QRegularExpression::escape(italian(reason.constData())));
    QVERIFY2(QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$')).match(boxes.first().text).hasMatch(),
             qPrintable(boxes.first().text));
}

void ItalianTest::selectionListsTranslateOnlyTheirWords_data()
{
    QTest::addColumn<QString>("comboBox");
    QTest::addColumn<QString>("camera"); // chosen on the combo box's tab first; empty: as built
    QTest::addColumn<QStringList>("fixedItems");
    QTest::addColumn<QByteArrayList>("translatedItems"); // follow the fixed ones

    const QStringList isoValues = {"100", "200", "400", "800", "1600", "3200", "6400"};
    const QStringList binnings = {"1x1", "2x2", "3x3", "4x4", "6x6", "8x8"};
    const QByteArrayList filters = {"Luminance", "Red", "Green", "Blue", "H-alpha", "OIII", "SII", "Light Pollution",
                                    "Custom"};
    const QByteArrayList custom = {"Custom"};

    QTest::newRow("filters tab, cameras") << "FT_cameraTypeSetting" << "" << QStringList{"DSLR", "CCD"} << QByteArrayList();
    QTest::newRow("settings tab, cameras") << "ST_cameraSetting" << "" << QStringList{"DSLR", "CCD"} << QByteArrayList();
    QTest::newRow("filters tab, ISO") << "FT_isobinSetting" << "" << isoValues << custom;
    QTest::newRow("settings tab, ISO") << "ST_isobinSetting" << "" << isoValues << custom;
    QTest::newRow("filters tab, binning") << "FT_isobinSetting" << "CCD" << binnings << custom;
    QTest::newRow("settings tab, binning") << "ST_isobinSetting" << "CCD" << binnings << custom;
    QTest::newRow("filters tab, filters") << "FT_filterSetting" << "" << QStringList() << filters;
    QTest::newRow("settings tab, filters") << "ST_filterSetting" << "" << QStringList() << filters;
}

void ItalianTest::selectionListsTranslateOnlyTheirWords()
{
    QFETCH(QString, comboBox);
    QFETCH(QString, camera);
    QFETCH(QStringList, fixedItems);
    QFETCH(QByteArrayList, translatedItems);

    auto window = makeWindow();
    if (!camera.isEmpty()) {
        const char *cameraBox = comboBox.startsWith(QLatin1String("FT_")) ? "FT_cameraTypeSetting" : "ST_cameraSetting";
        child<QComboBox>(*window, cameraBox)->setCurrentText(camera);
    }
    auto *box = child<QComboBox>(*window, qPrintable(comboBox));
    QVERIFY(box);

    QStringList expected = fixedItems;
    for (const QByteArray &source : qAsConst(translatedItems))
        expected.append(italian(source.constData()));
    QStringList items;
    for (int index = 0; index < box->count(); ++index)
        items.append(box->itemText(index));
    QCOMPARE(items, expected);
}

void ItalianTest::luminanceIsTheStartFilter()
{
    auto window = makeWindow();
    QCOMPARE(child<QComboBox>(*window, "FT_filterSetting")->currentText(), italian("Luminance"));
    QCOMPARE(child<QComboBox>(*window, "ST_filterSetting")->currentText(), italian("Luminance"));
}

void ItalianTest::nightVisionButtonTextsAreItalian()
{
    auto window = makeWindow();
    auto *button = child<QPushButton>(*window, "MT_nightVisionButton");
    QVERIFY(button);
    const QStringList expected = {italian("Disable"), italian("Enable"), italian("Disable")};
    QStringList shown;
    for (int press = 0; press < expected.size(); ++press) {
        pressButton(*window, "MT_nightVisionButton");
        QTest::mouseRelease(button, Qt::LeftButton);
        shown.append(button->text());
    }
    QCOMPARE(shown, expected);
}

void ItalianTest::fileDialogsAreItalian_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("caption");
    QTest::newRow("open") << QByteArray("ST_openButton") << QByteArray("Open configuration as");
    QTest::newRow("save") << QByteArray("ST_saveButton") << QByteArray("Save configuration as");
}

void ItalianTest::fileDialogsAreItalian()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, caption);

    auto window = makeWindow();
    VelmoraFlatTestAccess::setLampControlsEnabled(*window, true);
    DialogResponder::instance().queueFileCancel();
    pressButton(*window, button.constData());

    const QList<ShownDialog> shown = DialogResponder::instance().shown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().className, QStringLiteral("QFileDialog"));
    QCOMPARE(shown.first().title, italian(caption.constData()));
    QCOMPARE(shown.first().nameFilters, QStringList{italian("Velmora Flat Configuration (*.vfc)")});
}

void ItalianTest::flatTableLinesBelongToTheirLanguage_data()
{
    QTest::addColumn<bool>("italianWindow");
    QTest::addColumn<QByteArray>("filter");
    QTest::addColumn<bool>("italianLine");

    for (const char *filter : {"Luminance", "Light Pollution", "Custom"}) {
        for (const bool italianWindow : {true, false}) {
            for (const bool italianLine : {true, false}) {
                QTest::addRow("%s line, %s window, %s", italianLine ? "Italian" : "English",
                              italianWindow ? "Italian" : "English", filter)
                    << italianWindow << QByteArray(filter) << italianLine;
            }
        }
    }
}

// A line holds the filter name as the filter list showed it when the line was made, so only a window in the same
// language finds it.
void ItalianTest::flatTableLinesBelongToTheirLanguage()
{
    QFETCH(bool, italianWindow);
    QFETCH(QByteArray, filter);
    QFETCH(bool, italianLine);

    const QString italianFilter = italian(filter.constData());
    const QString englishFilter = QString::fromLatin1(filter);
    QVERIFY(italianFilter != englishFilter);

    std::unique_ptr<VelmoraFlat> window;
    if (italianWindow) {
        window = makeWindow();
    } else {
        EnglishScope english(m_translator);
        window = makeWindow();
    }
    auto *filterBox = child<QComboBox>(*window, "FT_filterSetting");
    QVERIFY(filterBox);
    filterBox->setCurrentText(italianWindow ? italianFilter : englishFilter);
    QCOMPARE(filterBox->currentText(), italianWindow ? italianFilter : englishFilter);

    const QString line = QStringLiteral("DSLR 100 %1 2 120").arg(italianLine ? italianFilter : englishFilter);
    VelmoraFlatTestAccess::flatTable(*window) = {line};
    VelmoraFlatTestAccess::updateFiltersTab(*window);

    const bool found = italianWindow == italianLine;
    QCOMPARE(child<QLineEdit>(*window, "FT_exposureSetting")->text(), found ? QStringLiteral("2") : QStringLiteral("0"));
    QCOMPARE(child<QLineEdit>(*window, "FT_lightSetting")->text(), found ? QStringLiteral("120") : QStringLiteral("0"));
}

VELMORA_TEST_MAIN(ItalianTest)

#include "tst_italian.moc"
