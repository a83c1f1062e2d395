// The window's widget tree as the form builds it: names, classes, states, ranges, texts, fonts and layout.
#include "dialogs.h"
#include "fakeflat.h"
#include "fakeports.h"
#include "formtexts.h"
#include "testmain.h"
#include "windowtest.h"

#include "ui_velmoraflat.h"

#include <QGridLayout>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>
#include <QTranslator>

namespace {

// Answers every lookup with the context and source text, and remembers the lookups.
class TaggingTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *disambiguation, int n) const override
    {
        if (QLatin1String(context) == QLatin1String("VelmoraFlat")) {
            lookups.append(QString::fromUtf8(sourceText));
            disambiguated |= disambiguation != nullptr || n != -1;
        }
        return QStringLiteral("<%1>%2").arg(QLatin1String(context), QString::fromUtf8(sourceText));
    }
    bool isEmpty() const override { return false; }

    mutable QStringList lookups;
    mutable bool disambiguated = false;
};

// The form alone, on a plain main window: what setupUi leaves before the window's constructor goes on.
struct BareForm
{
    BareForm() { form.setupUi(&host); }
    QMainWindow host;
    Ui_VelmoraFlat form;
};

QString formText(BareForm &bare, const QString &objectName, const QString &property)
{
    if (objectName == QLatin1String("VelmoraFlat"))
        return bare.host.windowTitle();
    if (property == QLatin1String("tabText")) {
        QWidget *page = bare.host.findChild<QWidget *>(objectName);
        return bare.form.tabWidget->tabText(bare.form.tabWidget->indexOf(page));
    }
    QObject *object = bare.host.findChild<QObject *>(objectName);
    return object ? object->property(qPrintable(property)).toString() : QStringLiteral("<no %1>").arg(objectName);
}


} // namespace

class FormTest : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void objectNamesAndClasses_data();
    void objectNamesAndClasses();
    void enabledStatesAfterConstruction_data();
    void enabledStatesAfterConstruction();
    void brightnessControlsRange_data();
    void brightnessControlsRange();
    void spinBoxButtonSymbols();
    void windowFrame();
    void fourTabsAfterConstruction();
    void spareTabsLeftTheTabBarButLive();
    void formBuildsSixTabsAndEmptyCombos();
    void formTexts_data();
    void formTexts();
    void formTextsLookedUpInTheWindowContext_data();
    void formTextsLookedUpInTheWindowContext();
    void formLooksUpTheTextsInTableOrder();
    void fonts_data();
    void fonts();
    void gridPositions_data();
    void gridPositions();
    void layoutSpacingAndMargins();
};

void FormTest::init()
{
    fakeflat::reset();
    fakeports::set({{QStringLiteral("ttyS0"), 0}}); // a port, but not the box: no message at start
    DialogResponder::instance().clear();
}

void FormTest::objectNamesAndClasses_data()
{
    QTest::addColumn<QString>("className");
    QTest::newRow("mainWindow") << QStringLiteral("QWidget");
    QTest::newRow("gridLayout") << QStringLiteral("QGridLayout");
    QTest::newRow("velmoraBanner") << QStringLiteral("QGraphicsView");
    QTest::newRow("tabWidget") << QStringLiteral("QTabWidget");
    QTest::newRow("statusBar") << QStringLiteral("QStatusBar");
    QTest::newRow("mainTab") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout") << QStringLiteral("QVBoxLayout");
    QTest::newRow("mainTabWidget") << QStringLiteral("QWidget");
    QTest::newRow("horizontalLayout") << QStringLiteral("QHBoxLayout");
    QTest::newRow("MT_lampLevelGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("verticalLayout_6") << QStringLiteral("QVBoxLayout");
    QTest::newRow("MT_lampLevelWidget") << QStringLiteral("QWidget");
    QTest::newRow("horizontalLayout_2") << QStringLiteral("QHBoxLayout");
    QTest::newRow("MT_lampLevelSlider") << QStringLiteral("QSlider");
    QTest::newRow("MT_lampLevelNWidget") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_7") << QStringLiteral("QVBoxLayout");
    QTest::newRow("MT_lampLevelSpinBox") << QStringLiteral("QSpinBox");
    QTest::newRow("MT_lampSettingsGroup") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_8") << QStringLiteral("QVBoxLayout");
    QTest::newRow("MT_serialPortGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("verticalLayout_10") << QStringLiteral("QVBoxLayout");
    QTest::newRow("MT_serialCombo") << QStringLiteral("QComboBox");
    QTest::newRow("MT_serialConnect") << QStringLiteral("QPushButton");
    QTest::newRow("MT_serialDisconnect") << QStringLiteral("QPushButton");
    QTest::newRow("MT_lampStatusGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("horizontalLayout_3") << QStringLiteral("QHBoxLayout");
    QTest::newRow("MT_lampSwitch") << QStringLiteral("QCheckBox");
    QTest::newRow("MT_nightVisionGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("verticalLayout_9") << QStringLiteral("QVBoxLayout");
    QTest::newRow("MT_nightVisionButton") << QStringLiteral("QPushButton");
    QTest::newRow("mainTabLine") << QStringLiteral("QFrame");
    QTest::newRow("mainTabDescription") << QStringLiteral("QLabel");
    QTest::newRow("imgProcTab") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_4") << QStringLiteral("QVBoxLayout");
    QTest::newRow("widget_4") << QStringLiteral("QWidget");
    QTest::newRow("line_3") << QStringLiteral("QFrame");
    QTest::newRow("label_3") << QStringLiteral("QLabel");
    QTest::newRow("controllerTab") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_5") << QStringLiteral("QVBoxLayout");
    QTest::newRow("widget_5") << QStringLiteral("QWidget");
    QTest::newRow("line_2") << QStringLiteral("QFrame");
    QTest::newRow("label_2") << QStringLiteral("QLabel");
    QTest::newRow("filtersTab") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_3") << QStringLiteral("QVBoxLayout");
    QTest::newRow("filtersTabWidget") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_11") << QStringLiteral("QVBoxLayout");
    QTest::newRow("FT_lampLevelWidget") << QStringLiteral("QWidget");
    QTest::newRow("horizontalLayout_4") << QStringLiteral("QHBoxLayout");
    QTest::newRow("filterImage") << QStringLiteral("QGraphicsView");
    QTest::newRow("FT_infoWidget") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_13") << QStringLiteral("QVBoxLayout");
    QTest::newRow("FT_infoGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("verticalLayout_14") << QStringLiteral("QVBoxLayout");
    QTest::newRow("FT_exposureLabel") << QStringLiteral("QLabel");
    QTest::newRow("FT_exposureSetting") << QStringLiteral("QLineEdit");
    QTest::newRow("FT_lightLabel") << QStringLiteral("QLabel");
    QTest::newRow("FT_lightSetting") << QStringLiteral("QLineEdit");
    QTest::newRow("FT_filterAndCameraWidget") << QStringLiteral("QWidget");
    QTest::newRow("horizontalLayout_5") << QStringLiteral("QHBoxLayout");
    QTest::newRow("FT_FilterGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("verticalLayout_15") << QStringLiteral("QVBoxLayout");
    QTest::newRow("FT_filterSetting") << QStringLiteral("QComboBox");
    QTest::newRow("FT_applySettingButton") << QStringLiteral("QPushButton");
    QTest::newRow("FT_CameraGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("verticalLayout_12") << QStringLiteral("QVBoxLayout");
    QTest::newRow("FT_cameraTypeSetting") << QStringLiteral("QComboBox");
    QTest::newRow("FT_isobinSetting") << QStringLiteral("QComboBox");
    QTest::newRow("filtersTabLine") << QStringLiteral("QFrame");
    QTest::newRow("filtersTabDescription") << QStringLiteral("QLabel");
    QTest::newRow("settingsTab") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_2") << QStringLiteral("QVBoxLayout");
    QTest::newRow("settingTabWidget") << QStringLiteral("QWidget");
    QTest::newRow("gridLayout_2") << QStringLiteral("QGridLayout");
    QTest::newRow("ST_lampLevelWidget") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_16") << QStringLiteral("QVBoxLayout");
    QTest::newRow("ST_lampLevelGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("horizontalLayout_7") << QStringLiteral("QHBoxLayout");
    QTest::newRow("ST_lampLevelSlider") << QStringLiteral("QSlider");
    QTest::newRow("ST_lampLevelSpinBox") << QStringLiteral("QSpinBox");
    QTest::newRow("ST_settingWidget") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_17") << QStringLiteral("QVBoxLayout");
    QTest::newRow("ST_lampSettingGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("gridLayout_3") << QStringLiteral("QGridLayout");
    QTest::newRow("ST_cameraSetting") << QStringLiteral("QComboBox");
    QTest::newRow("ST_isobinSetting") << QStringLiteral("QComboBox");
    QTest::newRow("ST_filterSetting") << QStringLiteral("QComboBox");
    QTest::newRow("ST_exposureLabel") << QStringLiteral("QLabel");
    QTest::newRow("ST_exposureValue") << QStringLiteral("QLineEdit");
    QTest::newRow("ST_modifyButton") << QStringLiteral("QPushButton");
    QTest::newRow("ST_applyButton") << QStringLiteral("QPushButton");
    QTest::newRow("widget_13") << QStringLiteral("QWidget");
    QTest::newRow("horizontalLayout_6") << QStringLiteral("QHBoxLayout");
    QTest::newRow("ST_serialPortGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("verticalLayout_19") << QStringLiteral("QVBoxLayout");
    QTest::newRow("ST_autoSearch") << QStringLiteral("QCheckBox");
    QTest::newRow("ST_connectButton") << QStringLiteral("QPushButton");
    QTest::newRow("ST_fileSettingGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("verticalLayout_18") << QStringLiteral("QVBoxLayout");
    QTest::newRow("ST_openButton") << QStringLiteral("QPushButton");
    QTest::newRow("ST_saveButton") << QStringLiteral("QPushButton");
    QTest::newRow("settingsTabLine") << QStringLiteral("QFrame");
    QTest::newRow("settingsTabDescription") << QStringLiteral("QLabel");
    QTest::newRow("infoTab") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_20") << QStringLiteral("QVBoxLayout");
    QTest::newRow("infoWidget") << QStringLiteral("QWidget");
    QTest::newRow("verticalLayout_21") << QStringLiteral("QVBoxLayout");
    QTest::newRow("flatBoxImage") << QStringLiteral("QGraphicsView");
    QTest::newRow("aboutUsGroup") << QStringLiteral("QGroupBox");
    QTest::newRow("gridLayout_4") << QStringLiteral("QGridLayout");
    QTest::newRow("infoVersionWidget") << QStringLiteral("QWidget");
    QTest::newRow("horizontalLayout_9") << QStringLiteral("QHBoxLayout");
    QTest::newRow("infoVersionLabel") << QStringLiteral("QLabel");
    QTest::newRow("infoVersion") << QStringLiteral("QLineEdit");
    QTest::newRow("infoLibVersionLabel") << QStringLiteral("QLabel");
    QTest::newRow("infoLibVersion") << QStringLiteral("QLineEdit");
    QTest::newRow("infoOSWidget") << QStringLiteral("QWidget");
    QTest::newRow("horizontalLayout_8") << QStringLiteral("QHBoxLayout");
    QTest::newRow("infoOS") << QStringLiteral("QLineEdit");
    QTest::newRow("qtLogo") << QStringLiteral("QPushButton");
}

void FormTest::objectNamesAndClasses()
{
    QFETCH(QString, className);
    auto window = makeWindow();
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    const QList<QObject *> found = window->findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
}

void FormTest::enabledStatesAfterConstruction_data()
{
    QTest::addColumn<bool>("enabled");
    const char *enabled[] = {"MT_serialCombo", "MT_serialConnect", "MT_nightVisionButton", "ST_autoSearch",
                             "ST_connectButton", "qtLogo", "filtersTab", "imgProcTab"};
    const char *disabled[] = {"MT_lampLevelSlider", "MT_lampLevelSpinBox", "MT_serialDisconnect", "MT_lampSwitch",
                              "FT_exposureSetting", "FT_lightSetting", "FT_filterSetting", "FT_applySettingButton",
                              "FT_cameraTypeSetting", "FT_isobinSetting", "ST_lampLevelSlider", "ST_lampLevelSpinBox",
                              "ST_cameraSetting", "ST_isobinSetting", "ST_filterSetting", "ST_exposureValue",
                              "ST_modifyButton", "ST_applyButton", "ST_openButton", "ST_saveButton", "infoVersion",
                              "infoLibVersion", "infoOS"};
    for (const char *name : enabled)
        QTest::newRow(name) << true;
    for (const char *name : disabled)
        QTest::newRow(name) << false;
}

void FormTest::enabledStatesAfterConstruction()
{
    QFETCH(bool, enabled);
    auto window = makeWindow();
    QWidget *widget = child<QWidget>(*window, QTest::currentDataTag());
    QVERIFY(widget);
    QCOMPARE(widget->isEnabledTo(window.get()), enabled);
}

void FormTest::brightnessControlsRange_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("MT_lampLevelSlider") << QStringLiteral("slider");
    QTest::newRow("ST_lampLevelSlider") << QStringLiteral("slider");
    QTest::newRow("MT_lampLevelSpinBox") << QStringLiteral("spin box");
    QTest::newRow("ST_lampLevelSpinBox") << QStringLiteral("spin box");
}

void FormTest::brightnessControlsRange()
{
    QFETCH(QString, kind);
    auto window = makeWindow();
    const char *name = QTest::currentDataTag();
    if (kind == QLatin1String("slider")) {
        auto *slider = child<QSlider>(*window, name);
        QVERIFY(slider);
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 255);
        QCOMPARE(slider->orientation(), Qt::Vertical);
        QCOMPARE(slider->tickPosition(), QSlider::TicksBothSides);
    } else {
        auto *spinBox = child<QSpinBox>(*window, name);
        QVERIFY(spinBox);
        QCOMPARE(spinBox->minimum(), 0);
        QCOMPARE(spinBox->maximum(), 255);
        QCOMPARE(spinBox->alignment(), Qt::AlignCenter);
    }
}

void FormTest::spinBoxButtonSymbols()
{
    auto window = makeWindow();
    QCOMPARE(child<QSpinBox>(*window, "MT_lampLevelSpinBox")->buttonSymbols(), QAbstractSpinBox::PlusMinus);
    QCOMPARE(child<QSpinBox>(*window, "ST_lampLevelSpinBox")->buttonSymbols(), QAbstractSpinBox::UpDownArrows);
}

void FormTest::windowFrame()
{
    auto window = makeWindow();
    QCOMPARE(window->objectName(), QStringLiteral("VelmoraFlat"));
    QCOMPARE(window->minimumSize(), QSize(480, 640));
    QCOMPARE(window->maximumSize(), QSize(480, 640));
    QCOMPARE(window->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(window->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->size(), QSize(480, 640));
    window->resize(800, 900);
    QCOMPARE(window->size(), QSize(480, 640));

    QVERIFY(window->findChildren<QMenuBar *>().isEmpty());
    QVERIFY(window->findChildren<QToolBar *>().isEmpty());
    auto *statusBar = child<QStatusBar>(*window, "statusBar");
    QCOMPARE(window->statusBar(), statusBar);
    QVERIFY(!statusBar->isSizeGripEnabled());
    QCOMPARE(window->centralWidget(), child<QWidget>(*window, "mainWindow"));

    auto *tabs = child<QTabWidget>(*window, "tabWidget");
    QCOMPARE(tabs->tabPosition(), QTabWidget::West);
    QCOMPARE(tabs->iconSize(), QSize(40, 40));
}

void FormTest::fourTabsAfterConstruction()
{
    auto window = makeWindow();
    auto *tabs = child<QTabWidget>(*window, "tabWidget");
    const QStringList expected = {QStringLiteral("mainTab"), QStringLiteral("filtersTab"),
                                  QStringLiteral("settingsTab"), QStringLiteral("infoTab")};
    QStringList pages;
    for (int i = 0; i < tabs->count(); ++i) {
        pages.append(tabs->widget(i)->objectName());
        QVERIFY2(tabs->tabText(i).isEmpty(), qPrintable(tabs->tabText(i)));
        QVERIFY2(!tabs->tabIcon(i).isNull(), qPrintable(pages.last()));
    }
    QCOMPARE(pages, expected);
    QCOMPARE(tabs->currentWidget(), child<QWidget>(*window, "mainTab"));
}

void FormTest::spareTabsLeftTheTabBarButLive()
{
    auto window = makeWindow();
    auto *tabs = child<QTabWidget>(*window, "tabWidget");
    for (const char *name : {"imgProcTab", "controllerTab"}) {
        QWidget *page = child<QWidget>(*window, name);
        QVERIFY2(page, name);
        QCOMPARE(tabs->indexOf(page), -1);
        QVERIFY(!page->isVisible());
        QVERIFY(child<QLabel>(*page, name == QByteArray("imgProcTab") ? "label_3" : "label_2"));
    }
}

void FormTest::formBuildsSixTabsAndEmptyCombos()
{
    BareForm bare;
    QTabWidget *tabs = bare.form.tabWidget;
    const QStringList expected = {QStringLiteral("mainTab"),   QStringLiteral("filtersTab"),
                                  QStringLiteral("settingsTab"), QStringLiteral("infoTab"),
                                  QStringLiteral("imgProcTab"), QStringLiteral("controllerTab")};
    QStringList pages;
    for (int i = 0; i < tabs->count(); ++i) {
        pages.append(tabs->widget(i)->objectName());
        QVERIFY(tabs->tabText(i).isEmpty());
        QVERIFY2(!tabs->tabIcon(i).isNull(), qPrintable(pages.last()));
    }
    QCOMPARE(pages, expected);
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(!bare.host.windowIcon().isNull());

    const QList<QComboBox *> combos = bare.host.findChildren<QComboBox *>();
    QCOMPARE(combos.size(), 7);
    for (QComboBox *combo : combos) {
        QVERIFY2(combo->count() == 0, qPrintable(combo->objectName()));
        QVERIFY2(combo->currentIndex() == -1, qPrintable(combo->objectName()));
    }
}

void FormTest::formTexts_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("source");
    for (const FormTextRow &row : formTextRows)
        QTest::addRow("%s %s", row.object, row.property)
            << QString::fromLatin1(row.object) << QString::fromLatin1(row.property) << QString::fromLatin1(row.source);
}

void FormTest::formTexts()
{
    QFETCH(QString, objectName);
    QFETCH(QString, property);
    QFETCH(QString, source);
    BareForm bare;
    QCOMPARE(formText(bare, objectName, property), source);
}

void FormTest::formTextsLookedUpInTheWindowContext_data()
{
    formTexts_data();
}

// Translated texts come back tagged with the context; empty texts are set without a lookup.
void FormTest::formTextsLookedUpInTheWindowContext()
{
    QFETCH(QString, objectName);
    QFETCH(QString, property);
    QFETCH(QString, source);
    TaggingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    BareForm bare;
    QCoreApplication::removeTranslator(&translator);
    const QString expected = source.isEmpty() ? QString() : QStringLiteral("<VelmoraFlat>") + source;
    QCOMPARE(formText(bare, objectName, property), expected);
}

void FormTest::formLooksUpTheTextsInTableOrder()
{
    QStringList expected;
    for (const FormTextRow &row : formTextRows) {
        if (*row.source)
            expected.append(QString::fromLatin1(row.source));
    }
    QCOMPARE(expected.size(), 34);
    TaggingTranslator translator;
    QCoreApplication::installTranslator(&translator);
    BareForm bare;
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(translator.lookups, expected);
    QVERIFY(!translator.disambiguated);
}

void FormTest::fonts_data()
{
    QTest::addColumn<int>("pointSize");
    QTest::newRow("MT_lampLevelGroup") << 10;
    QTest::newRow("FT_exposureLabel") << 10;
    QTest::newRow("FT_lightLabel") << 10;
    QTest::newRow("mainTabDescription") << 12;
}

void FormTest::fonts()
{
    QFETCH(int, pointSize);
    auto window = makeWindow();
    QWidget *widget = child<QWidget>(*window, QTest::currentDataTag());
    QVERIFY(widget);
    const QFont font = widget->font();
    QCOMPARE(font.family(), QStringLiteral("MS Shell Dlg 2"));
    QCOMPARE(font.pointSize(), pointSize);
    QCOMPARE(font.weight(), 50);
    QVERIFY(!font.bold());
    QVERIFY(!font.italic());
}

void FormTest::gridPositions_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<int>("item");   // index in the layout = order in which the items were added
    QTest::addColumn<QString>("widget"); // empty for a spacer
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("rowSpan");
    QTest::addColumn<int>("columnSpan");
    const QString spacer;
    QTest::newRow("frame: row-2 spacer first") << "gridLayout" << 0 << spacer << 2 << 0 << 1 << 1;
    QTest::newRow("frame: row-0 spacer") << "gridLayout" << 1 << spacer << 0 << 0 << 1 << 1;
    QTest::newRow("frame: banner") << "gridLayout" << 2 << "velmoraBanner" << 1 << 0 << 1 << 1;
    QTest::newRow("frame: tabs last") << "gridLayout" << 3 << "tabWidget" << 3 << 0 << 1 << 1;
    QTest::newRow("settings: lamp level") << "gridLayout_2" << 0 << "ST_lampLevelWidget" << 0 << 0 << 1 << 1;
    QTest::newRow("settings: editor") << "gridLayout_2" << 1 << "ST_settingWidget" << 0 << 1 << 1 << 1;
    QTest::newRow("settings: port and file row") << "gridLayout_2" << 2 << "widget_13" << 1 << 0 << 1 << 2;
    QTest::newRow("settings: camera spans") << "gridLayout_3" << 0 << "ST_cameraSetting" << 0 << 0 << 1 << 2;
    QTest::newRow("settings: iso spans") << "gridLayout_3" << 1 << "ST_isobinSetting" << 1 << 0 << 1 << 2;
    QTest::newRow("settings: filter spans") << "gridLayout_3" << 2 << "ST_filterSetting" << 2 << 0 << 1 << 2;
    QTest::newRow("settings: exposure label") << "gridLayout_3" << 3 << "ST_exposureLabel" << 3 << 0 << 1 << 1;
    QTest::newRow("settings: exposure value") << "gridLayout_3" << 4 << "ST_exposureValue" << 3 << 1 << 1 << 1;
    QTest::newRow("info: version row built first, below") << "gridLayout_4" << 0 << "infoVersionWidget" << 1 << 0 << 1 << 1;
    QTest::newRow("info: system row built second, above") << "gridLayout_4" << 1 << "infoOSWidget" << 0 << 0 << 1 << 1;
}

void FormTest::gridPositions()
{
    QFETCH(QString, layout);
    QFETCH(int, item);
    QFETCH(QString, widget);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, rowSpan);
    QFETCH(int, columnSpan);
    auto window = makeWindow();
    auto *grid = window->findChild<QGridLayout *>(layout);
    QVERIFY(grid);
    QVERIFY(item < grid->count());
    QLayoutItem *layoutItem = grid->itemAt(item);
    if (widget.isEmpty()) {
        QSpacerItem *spacerItem = layoutItem->spacerItem();
        QVERIFY(spacerItem);
        QCOMPARE(spacerItem->sizeHint(), QSize(10, 10));
        QCOMPARE(spacerItem->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);
    } else {
        QVERIFY(layoutItem->widget());
        QCOMPARE(layoutItem->widget()->objectName(), widget);
    }
    int r = -1, c = -1, rs = -1, cs = -1;
    grid->getItemPosition(item, &r, &c, &rs, &cs);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rs, rowSpan);
    QCOMPARE(cs, columnSpan);
}

void FormTest::layoutSpacingAndMargins()
{
    auto window = makeWindow();
    const QRegularExpression formLayout(QStringLiteral("^(verticalLayout|horizontalLayout|gridLayout)(_\\d+)?$"));
    int checked = 0;
    for (QLayout *layout : window->findChildren<QLayout *>()) {
        if (!formLayout.match(layout->objectName()).hasMatch())
            continue;
        ++checked;
        QVERIFY2(layout->spacing() == 6, qPrintable(layout->objectName()));
        QVERIFY2(layout->contentsMargins() == QMargins(11, 11, 11, 11), qPrintable(layout->objectName()));
    }
    QCOMPARE(checked, 34);
}

VELMORA_TEST_MAIN(FormTest)
#include "tst_form.moc"
