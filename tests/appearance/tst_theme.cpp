// The day and night-vision themes: the sheets that the night-vision button puts on the 31 themed widgets,
// compared rule by rule with the theme tables, and how they differ from the sheets the window starts with.
#include "dialogs.h"
#include "fakeflat.h"
#include "fakeports.h"
#include "testmain.h"
#include "themesheets.h"
#include "windowtest.h"

#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>

#include <iterator>

namespace {

// ---- The theme tables: one row per declaration; an empty rule continues the rule above. "same" in the night
// column repeats the day value, "absent" means the text has no such declaration.

struct TableRow
{
    const char *rule;
    const char *property;
    const char *day;
    const char *night;
};

const QVector<TableRow> baseTable = {
    {"QWidget", "background-color", "rgb(80, 80, 80)", "rgb(0, 0, 0)"},
    {"", "color", "rgb(255, 255, 255)", "same"},
    {"", "selection-background-color", "#3daee9", "same"},
    {"QTabBar::tab:selected", "background-color", "rgb(248, 141, 2)", "rgb(200, 30, 30)"},
    {"QTabBar::tab:!selected", "background-color", "rgb(98, 136, 163)", "rgb(40, 0, 0)"},
    {"QTabWidget::pane", "border-top", "0px solid", "same"},
};

const QVector<TableRow> tabPaneTable = {
    {"QWidget", "background-color", "rgb(200, 200, 200)", "rgb(66, 15, 15)"},
};

const QVector<TableRow> pushButtonTable = {
    {"QPushButton", "border", "2px solid #8f8f91", "same"},
    {"", "background-color", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"", "min-width", "80px", "same"},
    {"", "color", "rgb(255, 255, 255)", "same"},
    {"", "font", "10pt 'MS Shell Dlg 2'", "same"},
    {"QPushButton::disabled", "border", "absent", "2px solid #8f8f91"},
    {"", "background-color", "absent", "rgb(80, 80, 80)"},
    {"", "min-width", "absent", "80px"},
    {"", "color", "absent", "rgb(255, 255, 255)"},
    {"", "font", "absent", "10pt 'MS Shell Dlg 2'"},
    {"QPushButton:pressed", "color", "white", "same"},
    {"", "background-color", "rgb(118, 156, 183)", "rgb(170, 70, 70)"},
    {"QPushButton:flat", "border", "none", "same"},
    {"QPushButton:default", "border-color", "navy", "same"},
};

const QVector<TableRow> comboBoxTable = {
    {"QComboBox:!editable::disabled, QComboBox::drop-down:editable::disabled", "background", "rgb(80, 80, 80)", "same"},
    {"QComboBox", "border", "1px solid gray", "same"},
    {"", "padding", "1px 18px 1px 3px", "same"},
    {"", "min-width", "6em", "same"},
    {"", "color", "rgb(255, 255, 255)", "same"},
    {"QComboBox:editable", "background", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"QComboBox:!editable, QComboBox::drop-down:editable", "background", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"QComboBox:!editable:on, QComboBox::drop-down:editable:on", "background-color", "rgb(248, 141, 2)", "rgb(200, 30, 30)"},
    {"QComboBox:on", "padding-top", "3px", "same"},
    {"", "padding-left", "4px", "same"},
    {"QComboBox::drop-down", "subcontrol-origin", "padding", "same"},
    {"", "subcontrol-position", "top right", "same"},
    {"", "width", "15px", "same"},
    {"", "border-left-width", "1px", "same"},
    {"", "border-left-color", "darkgray", "same"},
    {"", "border-left-style", "solid", "same"},
    {"", "border-top-right-radius", "3px", "same"},
    {"", "border-bottom-right-radius", "3px", "same"},
    {"QComboBox::down-arrow", "image", "url(:/icons/combo_connect.png)", "same"},
    {"", "width", "10px", "same"},
    {"", "height", "10px", "same"},
    {"QComboBox::down-arrow:on", "top", "1px", "same"},
    {"", "left", "1px", "same"},
    {"QComboBox QAbstractItemView", "selection-background-color", "rgb(80, 80, 80)", "same"},
    {"", "selection-color", "white", "same"},
    {"QScrollBar:vertical", "border", "1px solid #999999", "same"},
    {"", "background", "white", "same"},
    {"", "width", "10px", "same"},
    {"", "margin", "0px 0px 0px 0px", "same"},
    {"QScrollBar::handle:vertical", "background-color", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"", "min-height", "0px", "same"},
    {"QScrollBar::add-line:vertical", "background", "qlineargradient(x1:0, y1:0, x2:1, y2:0,stop: 0 rgb(32, 47, 130), stop: 0.5 rgb(32, 47, 130),  stop:1 rgb(32, 47, 130))", "same"},
    {"", "height", "0px", "same"},
    {"", "subcontrol-position", "bottom", "same"},
    {"", "subcontrol-origin", "margin", "same"},
    {"QScrollBar::sub-line:vertical", "background", "qlineargradient(x1:0, y1:0, x2:1, y2:0,stop: 0  rgb(32, 47, 130), stop: 0.5 rgb(32, 47, 130),  stop:1 rgb(32, 47, 130))", "same"},
    {"", "height", "0 px", "same"},
    {"", "subcontrol-position", "top", "same"},
    {"", "subcontrol-origin", "margin", "same"},
};

const QVector<TableRow> spinBoxTable = {
    {"QSpinBox", "font", "12pt 'MS Shell Dlg 2'", "same"},
    {"", "color", "rgb(119, 119, 119)", "same"},
    {"", "border-width", "1px", "same"},
    {"", "border-style", "solid", "same"},
    {"", "border-color", "rgb(231, 234, 234)", "same"},
    {"QSpinBox::up-button", "background-color", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"", "subcontrol-position", "top right", "same"},
    {"", "subcontrol-origin", "border", "same"},
    {"", "width", "30px", "same"},
    {"QSpinBox::up-arrow", "image", "url(:/icons/plus.png)", "same"},
    {"", "width", "15px", "same"},
    {"", "height", "15px", "same"},
    {"QSpinBox::up-arrow:disabled", "background-color", "rgb(82, 82, 82)", "same"},
    {"QSpinBox::up-button:disabled", "background-color", "rgb(82, 82, 82)", "same"},
    {"QSpinBox::down-button", "background-color", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"", "subcontrol-origin", "border", "same"},
    {"", "subcontrol-position", "bottom right", "same"},
    {"", "width", "30px", "same"},
    {"QSpinBox::down-arrow", "image", "url(:/icons/minus.png)", "same"},
    {"", "width", "15px", "same"},
    {"", "height", "15px", "same"},
    {"QSpinBox::down-button:disabled", "background-color", "rgb(82, 82, 82)", "same"},
    {"QSpinBox::down-arrow:disabled", "background-color", "rgb(82, 82, 82)", "same"},
};

const QVector<TableRow> qtLogoTable = {
    {"QPushButton", "border", "0px solid #8f8f91", "same"},
    {"", "background-color", "rgb(200, 200, 200)", "rgb(66, 15, 15)"},
    {"", "min-width", "80px", "same"},
    {"", "color", "rgb(255, 255, 255)", "same"},
    {"", "font", "10pt 'MS Shell Dlg 2'", "same"},
    {"QPushButton:pressed", "color", "white", "same"},
    {"", "background-color", "rgb(200, 200, 200)", "rgb(66, 15, 15)"},
    {"QPushButton:flat", "border", "none", "same"},
    {"QPushButton:default", "border-color", "navy", "same"},
};

const QVector<TableRow> lampSwitchTable = {
    {"QCheckBox", "spacing", "5px", "same"},
    {"QCheckBox::indicator", "width", "120px", "same"},
    {"", "height", "100px", "same"},
    {"QCheckBox::indicator:unchecked::disabled", "image", "url(:/icons/disabled.png)", "same"},
    {"QCheckBox::indicator:unchecked::enabled", "image", "url(:/icons/off.png)", "url(:/icons/red_off.png)"},
    {"QCheckBox::indicator:checked", "image", "url(:/icons/on.png)", "url(:/icons/red_on.png)"},
};

const QVector<TableRow> sliderTable = {
    {"QSlider::sub-page:vertical", "background", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"", "border", "1px solid #777", "same"},
    {"", "width", "10px", "same"},
    {"", "border-radius", "4px", "same"},
    {"QSlider::add-page:vertical", "background", "rgb(248, 141, 2)", "rgb(200, 30, 30)"},
    {"", "border", "1px solid #777", "same"},
    {"", "width", "10px", "same"},
    {"", "border-radius", "4px", "same"},
    {"QSlider::handle:vertical", "background", "qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #eee, stop:1 #ccc)", "same"},
    {"", "border", "1px solid #777", "same"},
    {"", "height", "13px", "same"},
    {"", "margin-top", "-2px", "same"},
    {"", "margin-bottom", "-2px", "same"},
    {"", "border-radius", "4px", "same"},
    {"QSlider::sub-page:vertical:disabled", "background-color", "rgb(82, 82, 82)", "same"},
    {"", "border-color", "#999", "same"},
    {"QSlider::add-page:vertical:disabled", "background", "#eee", "same"},
    {"", "border-color", "#999", "same"},
    {"QSlider::handle:vertical:disabled", "background", "#eee", "same"},
    {"", "border", "1px solid #aaa", "same"},
    {"", "border-radius", "4px", "same"},
    {"QSlider::handle:vertical:hover", "background", "absent", "white"},
    {"", "border", "absent", "1px solid #444"},
    {"", "border-radius", "absent", "4px"},
    {"QSlider::groove:horizontal", "border", "absent", "1px solid #bbb"},
    {"", "border-color", "absent", "green"},
    {"", "background", "absent", "white"},
    {"", "width", "absent", "10px"},
    {"", "border-radius", "absent", "4px"},
};

const QVector<TableRow> statusBarTable = {
    {"QStatusBar", "font", "10pt 'MS Shell Dlg 2'", "same"},
    {"", "color", "rgb(98, 136, 163)", "same"},
    {"", "background-color", "rgb(80, 80, 80)", "black"},
    {"QStatusBar::item", "border", "0px solid white", "same"},
    {"", "border-radius", "3px", "same"},
};

const QVector<TableRow> lineEditTable = {
    {"QLineEdit::enabled", "border", "1px solid white", "same"},
    {"", "background-color", "rgb(98, 136, 163)", "rgb(140, 40, 40)"},
    {"", "font", "10pt 'MS Shell Dlg 2'", "same"},
    {"", "color", "rgb(255, 255, 255)", "same"},
    {"QLineEdit::disabled", "border", "1px solid white", "same"},
    {"", "background-color", "rgb(220, 220, 220)", "rgb(66, 15, 15)"},
    {"", "font", "10pt 'MS Shell Dlg 2'", "same"},
    {"", "color", "rgb(82, 82, 82)", "rgb(255, 255, 255)"},
};


struct Assignment
{
    const char *objectName;
    const char *className;
    const QVector<TableRow> *table;
};

// The widgets that the switch restyles, in the order in which it restyles them.
const Assignment assignments[] = {
    {"mainWindow", "QWidget", &baseTable},
    {"tabWidget", "QTabWidget", &tabPaneTable},
    {"MT_serialConnect", "QPushButton", &pushButtonTable},
    {"MT_serialDisconnect", "QPushButton", &pushButtonTable},
    {"MT_nightVisionButton", "QPushButton", &pushButtonTable},
    {"MT_serialCombo", "QComboBox", &comboBoxTable},
    {"MT_lampLevelSpinBox", "QSpinBox", &spinBoxTable},
    {"FT_filterSetting", "QComboBox", &comboBoxTable},
    {"FT_cameraTypeSetting", "QComboBox", &comboBoxTable},
    {"FT_isobinSetting", "QComboBox", &comboBoxTable},
    {"FT_applySettingButton", "QPushButton", &pushButtonTable},
    {"ST_cameraSetting", "QComboBox", &comboBoxTable},
    {"ST_isobinSetting", "QComboBox", &comboBoxTable},
    {"ST_filterSetting", "QComboBox", &comboBoxTable},
    {"ST_modifyButton", "QPushButton", &pushButtonTable},
    {"ST_applyButton", "QPushButton", &pushButtonTable},
    {"ST_connectButton", "QPushButton", &pushButtonTable},
    {"ST_openButton", "QPushButton", &pushButtonTable},
    {"ST_saveButton", "QPushButton", &pushButtonTable},
    {"ST_lampLevelSpinBox", "QSpinBox", &spinBoxTable},
    {"qtLogo", "QPushButton", &qtLogoTable},
    {"MT_lampSwitch", "QCheckBox", &lampSwitchTable},
    {"MT_lampLevelSlider", "QSlider", &sliderTable},
    {"ST_lampLevelSlider", "QSlider", &sliderTable},
    {"statusBar", "QStatusBar", &statusBarTable},
    {"ST_exposureValue", "QLineEdit", &lineEditTable},
    {"FT_exposureSetting", "QLineEdit", &lineEditTable},
    {"FT_lightSetting", "QLineEdit", &lineEditTable},
    {"infoOS", "QLineEdit", &lineEditTable},
    {"infoVersion", "QLineEdit", &lineEditTable},
    {"infoLibVersion", "QLineEdit", &lineEditTable},
};

// Each style role: the file of its sheets as the window applied them before they came from templates
// (themesheets/<file>-day.qss and -night.qss), and its theme table, which names the widgets that wear it.
struct RoleSheets
{
    StyleRole role;
    const char *file;
    const QVector<TableRow> *table;
};

const RoleSheets roleSheets[] = {
    {StyleRole::Base, "base", &baseTable},
    {StyleRole::TabPane, "tabpane", &tabPaneTable},
    {StyleRole::PushButton, "pushbutton", &pushButtonTable},
    {StyleRole::ComboBox, "combobox", &comboBoxTable},
    {StyleRole::SpinBox, "spinbox", &spinBoxTable},
    {StyleRole::QtLogo, "qtlogo", &qtLogoTable},
    {StyleRole::LampSwitch, "lampswitch", &lampSwitchTable},
    {StyleRole::Slider, "slider", &sliderTable},
    {StyleRole::StatusBar, "statusbar", &statusBarTable},
    {StyleRole::LineEdit, "lineedit", &lineEditTable},
};
static_assert(std::size(roleSheets) == styleRoleCount, "every style role has its expected sheets");

// ---- Sheets as ordered rules, so that texts differing only in layout, comments or blanks compare equal.

struct Rule
{
    QString selector; // empty for bare declarations
    QStringList declarations; // "property: value", in order
};
using Sheet = QVector<Rule>;

enum class Theme { Day, Night };

QStringList parseDeclarations(const QString &block)
{
    QStringList declarations;
    for (const QString &part : block.split(QLatin1Char(';'))) {
        const QString declaration = part.trimmed();
        if (declaration.isEmpty())
            continue;
        const int colon = declaration.indexOf(QLatin1Char(':'));
        declarations.append(declaration.left(colon).trimmed() + QStringLiteral(": ")
                            + declaration.mid(colon + 1).simplified());
    }
    return declarations;
}

Sheet parseSheet(QString text)
{
    text.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"), QRegularExpression::DotMatchesEverythingOption));
    Sheet sheet;
    int position = 0;
    for (int open; (open = text.indexOf(QLatin1Char('{'), position)) >= 0;) {
        int close = text.indexOf(QLatin1Char('}'), open);
        if (close < 0)
            close = text.size(); // an unclosed rule shows up as a difference in its declarations
        sheet.append({text.mid(position, open - position).simplified(), parseDeclarations(text.mid(open + 1, close - open - 1))});
        position = close + 1;
    }
    const QString rest = text.mid(position).trimmed();
    if (!rest.isEmpty())
        sheet.append({QString(), parseDeclarations(rest)});
    return sheet;
}

Sheet tableSheet(const QVector<TableRow> &table, Theme theme)
{
    Sheet sheet;
    for (const TableRow &row : table) {
        if (*row.rule)
            sheet.append({QString::fromLatin1(row.rule), {}});
        QString value = QString::fromLatin1(theme == Theme::Day ? row.day : row.night);
        if (value == QLatin1String("same"))
            value = QString::fromLatin1(row.day);
        if (value != QLatin1String("absent"))
            sheet.last().declarations.append(QString::fromLatin1(row.property) + QStringLiteral(": ") + value.simplified());
    }
    sheet.erase(std::remove_if(sheet.begin(), sheet.end(), [](const Rule &rule) { return rule.declarations.isEmpty(); }),
                sheet.end());
    return sheet;
}

QStringList lines(const Sheet &sheet)
{
    QStringList out;
    for (const Rule &rule : sheet) {
        out.append(rule.selector + QStringLiteral(" {"));
        for (const QString &declaration : rule.declarations)
            out.append(QStringLiteral("    ") + declaration + QLatin1Char(';'));
        out.append(QStringLiteral("}"));
    }
    return out;
}

QString describeDifference(const char *objectName, const Sheet &actual, const Sheet &expected)
{
    const QStringList a = lines(actual), e = lines(expected);
    int i = 0;
    while (i < a.size() && i < e.size() && a[i] == e[i])
        ++i;
    return QStringLiteral("%1, line %2: got \"%3\", expected \"%4\"")
        .arg(QLatin1String(objectName))
        .arg(i + 1)
        .arg(i < a.size() ? a[i] : QStringLiteral("<end>"), i < e.size() ? e[i] : QStringLiteral("<end>"));
}

#define COMPARE_SHEETS(objectName, actual, expected)                                                                \
    do {                                                                                                           \
        const Sheet actualSheet = (actual), expectedSheet = (expected);                                            \
        QVERIFY2(lines(actualSheet) == lines(expectedSheet),                                                       \
                 qPrintable(describeDifference(objectName, actualSheet, expectedSheet)));                          \
    } while (false)

// The start-up sheets write the font family in double quotes, the themes in single quotes.
QString singleQuoted(QString sheet)
{
    return sheet.replace(QLatin1Char('"'), QLatin1Char('\''));
}

QMap<QString, QString> themedSheets(VelmoraFlat &window)
{
    QMap<QString, QString> sheets;
    for (const Assignment &assignment : assignments)
        sheets.insert(QLatin1String(assignment.objectName), child<QWidget>(window, assignment.objectName)->styleSheet());
    return sheets;
}

std::unique_ptr<VelmoraFlat> shownWindow()
{
    auto window = makeWindow();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        QTest::qFail("window not exposed", __FILE__, __LINE__);
    return window;
}

void pressNightVision(VelmoraFlat &window, int times)
{
    auto *button = child<QPushButton>(window, "MT_nightVisionButton");
    for (int i = 0; i < times; ++i) {
        QTest::mousePress(button, Qt::LeftButton);
        QTest::mouseRelease(button, Qt::LeftButton);
    }
}

QColor groundOf(QWidget *widget)
{
    return widget->grab().toImage().pixelColor(4, 4);
}

// Looks at each message box once it is on screen, before the dialog responder answers it.
class MessageBoxWatcher : public QObject
{
public:
    MessageBoxWatcher() { qApp->installEventFilter(this); }
    ~MessageBoxWatcher() override { qApp->removeEventFilter(this); }

    int seen = 0;
    QObject *parent = nullptr;
    QString ownSheet;
    QColor ground;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *box = qobject_cast<QMessageBox *>(watched)) {
                QPointer<QMessageBox> guarded(box);
                QMetaObject::invokeMethod(this, [this, guarded] { look(guarded); }, Qt::QueuedConnection);
            }
        }
        return false;
    }

private:
    void look(QMessageBox *box)
    {
        if (!box)
            return;
        ++seen;
        parent = box->parent();
        ownSheet = box->styleSheet();
        ground = groundOf(box);
    }
};

} // namespace

class ThemeTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void pressesAlternateThemes_data();
    void pressesAlternateThemes();
    void generatedSheetsAreTheAppliedAndTheFormerTexts_data();
    void generatedSheetsAreTheAppliedAndTheFormerTexts();
    void themeChangesWhenTheButtonGoesDown();
    void startupSheetsDifferFromTheDaySetOnlyAsListed_data();
    void startupSheetsDifferFromTheDaySetOnlyAsListed();
    void windowSheetStaysAndCarriesTheDayBase();
    void disabledPushButtonGround_data();
    void disabledPushButtonGround();
    void messageBoxKeepsTheWindowSheetAtNight();
};

void ThemeTest::init()
{
    fakeflat::reset();
    fakeports::set({{QStringLiteral("ttyS0"), 0}}); // a port, but not the box: no message at start
    DialogResponder::instance().clear();
}

void ThemeTest::pressesAlternateThemes_data()
{
    QTest::addColumn<int>("presses");
    QTest::addColumn<bool>("night");
    QTest::addColumn<QString>("buttonText");
    QTest::newRow("first press: night") << 1 << true << QStringLiteral("Disable");
    QTest::newRow("second press: day") << 2 << false << QStringLiteral("Enable");
    QTest::newRow("third press: night again") << 3 << true << QStringLiteral("Disable");
}

void ThemeTest::pressesAlternateThemes()
{
    QFETCH(int, presses);
    QFETCH(bool, night);
    QFETCH(QString, buttonText);
    auto window = shownWindow();
    const QString windowSheet = window->styleSheet();

    pressNightVision(*window, presses);

    QCOMPARE(VelmoraFlatTestAccess::nightVision(*window), night);
    QCOMPARE(child<QPushButton>(*window, "MT_nightVisionButton")->text(), buttonText);
    for (const Assignment &assignment : assignments) {
        QWidget *widget = child<QWidget>(*window, assignment.objectName);
        QVERIFY(widget);
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), QString::fromLatin1(assignment.className));
        COMPARE_SHEETS(assignment.objectName, parseSheet(widget->styleSheet()),
                       tableSheet(*assignment.table, night ? Theme::Night : Theme::Day));
    }
    QCOMPARE(window->styleSheet(), windowSheet);
}

void ThemeTest::generatedSheetsAreTheAppliedAndTheFormerTexts_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<bool>("night");
    QTest::addColumn<QString>("expectedFile");
    for (int index = 0; index < styleRoleCount; ++index) {
        for (const bool night : {false, true}) {
            const QString file = QStringLiteral(":/expected/themesheets/%1-%2.qss")
                                     .arg(QLatin1String(roleSheets[index].file), night ? "night" : "day");
            QTest::addRow("%s, %s", roleSheets[index].file, night ? "night" : "day") << index << night << file;
        }
    }
}

// Byte for byte: the sheet made from the role's template and the theme's palette is the former constant text, and
// it is what each widget of that role wears after the switch.
void ThemeTest::generatedSheetsAreTheAppliedAndTheFormerTexts()
{
    QFETCH(int, role);
    QFETCH(bool, night);
    QFETCH(QString, expectedFile);
    const RoleSheets &roleSheet = roleSheets[role];
    const QString &generated = themeSheet(roleSheet.role, night);
    QFile expected(expectedFile);
    QVERIFY2(expected.open(QIODevice::ReadOnly), qPrintable(expectedFile));
    QCOMPARE(generated.toLatin1(), expected.readAll());

    auto window = shownWindow();
    pressNightVision(*window, night ? 1 : 2);
    int wearers = 0;
    for (const Assignment &assignment : assignments) {
        if (assignment.table != roleSheet.table)
            continue;
        ++wearers;
        QCOMPARE(child<QWidget>(*window, assignment.objectName)->styleSheet(), generated);
    }
    QVERIFY(wearers > 0);
}

void ThemeTest::themeChangesWhenTheButtonGoesDown()
{
    auto window = shownWindow();
    auto *button = child<QPushButton>(*window, "MT_nightVisionButton");
    QTest::mousePress(button, Qt::LeftButton);
    QVERIFY(VelmoraFlatTestAccess::nightVision(*window));
    QCOMPARE(button->text(), QStringLiteral("Disable"));
    COMPARE_SHEETS("mainWindow", parseSheet(child<QWidget>(*window, "mainWindow")->styleSheet()),
                   tableSheet(baseTable, Theme::Night));
    QTest::mouseRelease(button, Qt::LeftButton);
    QVERIFY(VelmoraFlatTestAccess::nightVision(*window));
}

enum class StartupDifference { None, NoSheet, DisabledRule, ExtraSliderRules };
Q_DECLARE_METATYPE(StartupDifference)

void ThemeTest::startupSheetsDifferFromTheDaySetOnlyAsListed_data()
{
    QTest::addColumn<StartupDifference>("difference");
    QTest::newRow("mainWindow") << StartupDifference::NoSheet;
    for (const char *button : {"MT_serialConnect", "MT_serialDisconnect", "FT_applySettingButton", "ST_modifyButton",
                               "ST_applyButton", "ST_connectButton", "ST_openButton", "ST_saveButton"})
        QTest::newRow(button) << StartupDifference::DisabledRule;
    QTest::newRow("MT_lampLevelSlider") << StartupDifference::ExtraSliderRules;
    for (const Assignment &assignment : assignments) {
        const QByteArray name(assignment.objectName);
        if (name != "mainWindow" && name != "MT_lampLevelSlider"
            && !(assignment.table == &pushButtonTable && name != "MT_nightVisionButton"))
            QTest::newRow(assignment.objectName) << StartupDifference::None;
    }
}

void ThemeTest::startupSheetsDifferFromTheDaySetOnlyAsListed()
{
    QFETCH(StartupDifference, difference);
    const char *name = QTest::currentDataTag();
    auto window = shownWindow();
    const QString startupText = themedSheets(*window).value(QLatin1String(name));
    pressNightVision(*window, 2);
    const Sheet day = parseSheet(themedSheets(*window).value(QLatin1String(name)));
    Sheet startup = parseSheet(singleQuoted(startupText));

    switch (difference) {
    case StartupDifference::None:
        break;
    case StartupDifference::NoSheet:
        QCOMPARE(startupText, QString());
        return;
    case StartupDifference::DisabledRule: {
        // Between QPushButton and QPushButton:pressed, with the declarations of QPushButton on a grey ground.
        QVERIFY(startup.size() > 2);
        QCOMPARE(startup[0].selector, QStringLiteral("QPushButton"));
        QCOMPARE(startup[2].selector, QStringLiteral("QPushButton:pressed"));
        Rule expected = {QStringLiteral("QPushButton::disabled"), startup[0].declarations};
        expected.declarations.replaceInStrings(QRegularExpression(QStringLiteral("^background-color: .*")),
                                               QStringLiteral("background-color: rgb(80, 80, 80)"));
        COMPARE_SHEETS(name, Sheet{startup[1]}, Sheet{expected});
        startup.removeAt(1);
        break;
    }
    case StartupDifference::ExtraSliderRules: {
        const Sheet expected = {
            {QStringLiteral("QSlider::groove:horizontal"),
             {QStringLiteral("border: 1px solid #bbb"), QStringLiteral("background: white"), QStringLiteral("width: 10px"),
              QStringLiteral("border-radius: 4px")}},
            {QStringLiteral("QSlider::handle:vertical:hover"),
             {QStringLiteral("background: qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #fff, stop:1 #ddd)"),
              QStringLiteral("border: 1px solid #444"), QStringLiteral("border-radius: 4px")}}};
        Sheet extra;
        for (const Rule &rule : expected) {
            const auto found = std::find_if(startup.begin(), startup.end(),
                                            [&](const Rule &r) { return r.selector == rule.selector; });
            QVERIFY2(found != startup.end(), qPrintable(rule.selector));
            extra.append(*found);
            startup.erase(found);
        }
        COMPARE_SHEETS(name, extra, expected);
        break;
    }
    }
    COMPARE_SHEETS(name, startup, day);
}

// The window's own sheet is never themed; its ground, text and tab rules are those of the day base sheet.
void ThemeTest::windowSheetStaysAndCarriesTheDayBase()
{
    auto window = shownWindow();
    const QString windowSheet = window->styleSheet();
    const Sheet base = tableSheet(baseTable, Theme::Day);
    Sheet own;
    for (const Rule &rule : parseSheet(singleQuoted(windowSheet))) {
        if (std::any_of(base.begin(), base.end(), [&](const Rule &r) { return r.selector == rule.selector; }))
            own.append(rule);
    }
    COMPARE_SHEETS("VelmoraFlat", own, base);
    for (int presses = 1; presses <= 2; ++presses) {
        pressNightVision(*window, 1);
        QCOMPARE(window->styleSheet(), windowSheet);
    }
}

void ThemeTest::disabledPushButtonGround_data()
{
    QTest::addColumn<int>("presses");
    QTest::addColumn<QColor>("ground");
    QTest::newRow("start: grey") << 0 << QColor(80, 80, 80);
    QTest::newRow("night: grey") << 1 << QColor(80, 80, 80);
    QTest::newRow("day after night: steel blue") << 2 << QColor(98, 136, 163);
}

void ThemeTest::disabledPushButtonGround()
{
    QFETCH(int, presses);
    QFETCH(QColor, ground);
    auto window = shownWindow();
    pressNightVision(*window, presses);
    auto *disconnect = child<QPushButton>(*window, "MT_serialDisconnect");
    QVERIFY(!disconnect->isEnabled());
    QCOMPARE(groundOf(disconnect), ground);
}

void ThemeTest::messageBoxKeepsTheWindowSheetAtNight()
{
    auto window = shownWindow();
    pressNightVision(*window, 1);
    QCOMPARE(groundOf(child<QWidget>(*window, "mainWindow")), QColor(0, 0, 0));

    MessageBoxWatcher watcher;
    child<QTabWidget>(*window, "tabWidget")->setCurrentWidget(child<QWidget>(*window, "settingsTab"));
    pressButton(*window, "ST_connectButton"); // finds no box on the one port and says so

    QCOMPARE(watcher.seen, 1);
    QCOMPARE(DialogResponder::instance().shownMessageBoxes().size(), 1);
    QCOMPARE(watcher.parent, window.get());
    QCOMPARE(watcher.ownSheet, QString());
    QCOMPARE(watcher.ground, QColor(80, 80, 80));
}

VELMORA_TEST_MAIN(ThemeTest)
#include "tst_theme.moc"
