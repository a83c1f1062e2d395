// The filters tab and the settings tab: selection lists, lookups, Apply on both tabs and what reaches the lamp.
#include "advisorwindow.h"
#include "testmain.h"

#include <QPushButton>

using namespace advisortest;

namespace {

const QStringList isoList = {"100", "200", "400", "800", "1600", "3200", "6400", "Custom"};
const QStringList binningList = {"1x1", "2x2", "3x3", "4x4", "6x6", "8x8", "Custom"};
const QStringList filterList = {"Luminance", "Red", "Green", "Blue", "H-alpha", "OIII", "SII", "Light Pollution",
                                "Custom"};

} // namespace

class AdvisorTabsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void startUpSelection();
    void cameraChangeRefillsOnlyItsTab_data();
    void cameraChangeRefillsOnlyItsTab();
    void filtersTabShowsConfiguration_data();
    void filtersTabShowsConfiguration();
    void filtersApplyCarriesLevelToLamp_data();
    void filtersApplyCarriesLevelToLamp();
    void filtersApplySelectsCombinationOnSettingsTab();
    void settingsSelectionMovesLamp();
    void settingsApply_data();
    void settingsApply();
    void settingsApplyTakesCameraChosenLast();
    void exposureFieldFollowsModifyAndApply();
};

void AdvisorTabsTest::init()
{
    resetDoubles();
}

void AdvisorTabsTest::startUpSelection()
{
    auto w = makeWindow();
    for (const char *name : {"ST_cameraSetting", "FT_cameraTypeSetting"}) {
        QCOMPARE(items(child<QComboBox>(*w, name)), QStringList({"DSLR", "CCD"}));
        QCOMPARE(child<QComboBox>(*w, name)->currentText(), QStringLiteral("DSLR"));
    }
    for (const char *name : {"ST_isobinSetting", "FT_isobinSetting"}) {
        QCOMPARE(items(child<QComboBox>(*w, name)), isoList);
        QCOMPARE(child<QComboBox>(*w, name)->currentText(), QStringLiteral("100"));
    }
    for (const char *name : {"ST_filterSetting", "FT_filterSetting"}) {
        QCOMPARE(items(child<QComboBox>(*w, name)), filterList);
        QCOMPARE(child<QComboBox>(*w, name)->currentText(), QStringLiteral("Luminance"));
    }
    QCOMPARE(VelmoraFlatTestAccess::currentCamera(*w), QStringLiteral("DSLR"));
    QVERIFY(tableLines(*w).isEmpty());
    QCOMPARE(text(*w, "FT_exposureSetting"), QStringLiteral("0"));
    QCOMPARE(text(*w, "FT_lightSetting"), QStringLiteral("0"));
    QCOMPARE(text(*w, "ST_exposureValue"), QStringLiteral("0"));
    QVERIFY(!child<QLineEdit>(*w, "ST_exposureValue")->isEnabled());
}

void AdvisorTabsTest::cameraChangeRefillsOnlyItsTab_data()
{
    QTest::addColumn<QString>("cameraBox");
    QTest::addColumn<QString>("isoBinBox");
    QTest::addColumn<QString>("otherIsoBinBox");
    QTest::addColumn<QString>("exposureField");

    QTest::newRow("filters tab") << "FT_cameraTypeSetting" << "FT_isobinSetting" << "ST_isobinSetting"
                                 << "FT_exposureSetting";
    QTest::newRow("settings tab") << "ST_cameraSetting" << "ST_isobinSetting" << "FT_isobinSetting"
                                  << "ST_exposureValue";
}

void AdvisorTabsTest::cameraChangeRefillsOnlyItsTab()
{
    QFETCH(QString, cameraBox);
    QFETCH(QString, isoBinBox);
    QFETCH(QString, otherIsoBinBox);
    QFETCH(QString, exposureField);

    auto w = lampOnWindow();
    setTable(*w, {"DSLR 100 Luminance 3 30", "CCD 1x1 Luminance 8 80"});
    auto *camera = child<QComboBox>(*w, qPrintable(cameraBox));
    auto *isoBin = child<QComboBox>(*w, qPrintable(isoBinBox));
    auto *otherIsoBin = child<QComboBox>(*w, qPrintable(otherIsoBinBox));
    otherIsoBin->setCurrentText(QStringLiteral("800"));
    isoBin->setCurrentText(QStringLiteral("3200"));

    camera->setCurrentText(QStringLiteral("CCD"));
    QCOMPARE(items(isoBin), binningList);
    QCOMPARE(isoBin->currentText(), QStringLiteral("1x1"));
    QCOMPARE(text(*w, qPrintable(exposureField)), QStringLiteral("8"));
    QCOMPARE(VelmoraFlatTestAccess::currentCamera(*w), QStringLiteral("CCD"));
    QCOMPARE(items(otherIsoBin), isoList);
    QCOMPARE(otherIsoBin->currentText(), QStringLiteral("800"));

    isoBin->setCurrentText(QStringLiteral("4x4"));
    camera->setCurrentText(QStringLiteral("DSLR"));
    QCOMPARE(items(isoBin), isoList);
    QCOMPARE(isoBin->currentText(), QStringLiteral("100"));
    QCOMPARE(text(*w, qPrintable(exposureField)), QStringLiteral("3"));
    QCOMPARE(VelmoraFlatTestAccess::currentCamera(*w), QStringLiteral("DSLR"));
}

void AdvisorTabsTest::filtersTabShowsConfiguration_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QStringList>("combination");
    QTest::addColumn<QString>("exposure");
    QTest::addColumn<QString>("lightLevel");

    const QStringList table = {"DSLR 800 Red 2.5 140",         "DSLR 800 Red 9 99",
                               "DSLR 100 Light Pollution 3 90", "CCD 2x2 Blue 1/4 s 60",
                               "CCD Custom Custom 7 70",        "DSLR 1600 OIII 4 300",
                               "DSLR 1600 SII 4 bright",        "DSLR 6400 Green 5 50 "};
    QTest::newRow("empty table") << QStringList{} << QStringList{"DSLR", "800", "Red"} << "0" << "0";
    QTest::newRow("first of two lines with the key") << table << QStringList{"DSLR", "800", "Red"} << "2.5" << "140";
    QTest::newRow("Light Pollution") << table << QStringList{"DSLR", "100", "Light Pollution"} << "3" << "90";
    QTest::newRow("CCD binning, exposure with spaces") << table << QStringList{"CCD", "2x2", "Blue"} << "1/4 s"
                                                       << "60";
    QTest::newRow("Custom binning and filter") << table << QStringList{"CCD", "Custom", "Custom"} << "7" << "70";
    QTest::newRow("level above 255 shown as stored") << table << QStringList{"DSLR", "1600", "OIII"} << "4" << "300";
    QTest::newRow("level that is not a number shown as stored") << table << QStringList{"DSLR", "1600", "SII"} << "4"
                                                                << "bright";
    QTest::newRow("blank after the level") << table << QStringList{"DSLR", "6400", "Green"} << "5" << "50";
    QTest::newRow("combination without a configuration") << table << QStringList{"DSLR", "800", "Blue"} << "0"
                                                         << "0";
    QTest::newRow("same combination for the other camera") << table << QStringList{"CCD", "1x1", "Red"} << "0" << "0";
}

void AdvisorTabsTest::filtersTabShowsConfiguration()
{
    QFETCH(QStringList, table);
    QFETCH(QStringList, combination);
    QFETCH(QString, exposure);
    QFETCH(QString, lightLevel);

    auto w = lampOnWindow();
    setTable(*w, table);
    selectOnFiltersTab(*w, combination[0], combination[1], combination[2]);
    QCOMPARE(text(*w, "FT_exposureSetting"), exposure);
    QCOMPARE(text(*w, "FT_lightSetting"), lightLevel);
    QCOMPARE(tableLines(*w), table);
}

void AdvisorTabsTest::filtersApplyCarriesLevelToLamp_data()
{
    QTest::addColumn<QString>("storedLevel"); // empty: no configuration for the combination
    QTest::addColumn<int>("lampLevel");

    QTest::newRow("level 140") << "140" << 140;
    QTest::newRow("level 255") << "255" << 255;
    QTest::newRow("level 300 held at 255") << "300" << 255;
    QTest::newRow("negative level held at 0") << "-5" << 0;
    QTest::newRow("level that is not a number") << "bright" << 0;
    QTest::newRow("empty level") << "" << 0;
    QTest::newRow("no configuration") << QString() << 0;
}

void AdvisorTabsTest::filtersApplyCarriesLevelToLamp()
{
    QFETCH(QString, storedLevel);
    QFETCH(int, lampLevel);

    auto w = lampOnWindow();
    if (!storedLevel.isNull())
        setTable(*w, {"DSLR 400 H-alpha 6 " + storedLevel});
    selectOnFiltersTab(*w, "DSLR", "400", "H-alpha");
    child<QSpinBox>(*w, "MT_lampLevelSpinBox")->setValue(42);
    QCOMPARE(lampLevels(*w), QList<int>({42, 42, 42, 42}));
    fakeflat::clearCalls();

    pressButton(*w, "FT_applySettingButton");

    QCOMPARE(lampLevels(*w), QList<int>({lampLevel, lampLevel, lampLevel, lampLevel}));
    QVERIFY(!brightnessSent().isEmpty());
    QCOMPARE(distinctBrightnessSent(), QSet<uint>({uint(lampLevel)}));
    QCOMPARE(text(*w, "ST_exposureValue"), storedLevel.isNull() ? QStringLiteral("0") : QStringLiteral("6"));
}

void AdvisorTabsTest::filtersApplySelectsCombinationOnSettingsTab()
{
    auto w = lampOnWindow();
    setTable(*w, {"CCD 2x2 Blue 5 s 77"});
    selectOnFiltersTab(*w, "CCD", "2x2", "Blue");
    QCOMPARE(child<QComboBox>(*w, "ST_cameraSetting")->currentText(), QStringLiteral("DSLR"));

    pressButton(*w, "FT_applySettingButton");

    QCOMPARE(child<QComboBox>(*w, "ST_cameraSetting")->currentText(), QStringLiteral("CCD"));
    QCOMPARE(items(child<QComboBox>(*w, "ST_isobinSetting")), binningList);
    QCOMPARE(child<QComboBox>(*w, "ST_isobinSetting")->currentText(), QStringLiteral("2x2"));
    QCOMPARE(child<QComboBox>(*w, "ST_filterSetting")->currentText(), QStringLiteral("Blue"));
    QCOMPARE(text(*w, "ST_exposureValue"), QStringLiteral("5 s"));
    QCOMPARE(lampLevels(*w), QList<int>({77, 77, 77, 77}));
    QCOMPARE(tableLines(*w), QStringList{"CCD 2x2 Blue 5 s 77"});
}

void AdvisorTabsTest::settingsSelectionMovesLamp()
{
    auto w = lampOnWindow();
    setTable(*w, {"DSLR 400 Green 3 120"});
    child<QSpinBox>(*w, "ST_lampLevelSpinBox")->setValue(50);
    fakeflat::clearCalls();

    selectOnSettingsTab(*w, "DSLR", "400", "Green");
    QCOMPARE(text(*w, "ST_exposureValue"), QStringLiteral("3"));
    QCOMPARE(lampLevels(*w), QList<int>({120, 120, 120, 120}));
    QCOMPARE(distinctBrightnessSent(), QSet<uint>({120}));

    fakeflat::clearCalls();
    selectOnSettingsTab(*w, "DSLR", "400", "Blue");
    QCOMPARE(text(*w, "ST_exposureValue"), QStringLiteral("0"));
    QCOMPARE(lampLevels(*w), QList<int>({120, 120, 120, 120}));
    QVERIFY(brightnessSent().isEmpty());
}

void AdvisorTabsTest::settingsApply_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("typed"); // null: Apply without Modify
    QTest::addColumn<QStringList>("tableAfter");
    QTest::addColumn<QString>("shownExposure");
    QTest::addColumn<QString>("shownLevel");

    const QString line = QStringLiteral("DSLR 100 Luminance 2.5 140");
    QTest::newRow("new combination is appended")
        << QStringList{"DSLR 200 Red 1 10"} << "2.5" << QStringList{"DSLR 200 Red 1 10", line} << "2.5" << "140";
    QTest::newRow("stored combination is replaced and moves to the end")
        << QStringList{"DSLR 100 Luminance 1 10", "DSLR 200 Red 1 20"} << "2.5"
        << QStringList{"DSLR 200 Red 1 20", line} << "2.5" << "140";
    QTest::newRow("two lines with the key: the first is replaced, the second is then found")
        << QStringList{"DSLR 100 Luminance 1 10", "DSLR 200 Red 1 20", "DSLR 100 Luminance 2 30"} << "2.5"
        << QStringList{"DSLR 200 Red 1 20", "DSLR 100 Luminance 2 30", line} << "2" << "30";
    QTest::newRow("without Modify the field's text is written") << QStringList{} << QString()
                                                                << QStringList{"DSLR 100 Luminance 0 140"} << "0"
                                                                << "140";
    QTest::newRow("empty exposure: two spaces before the level") << QStringList{} << ""
                                                                 << QStringList{"DSLR 100 Luminance  140"} << ""
                                                                 << "140";
    QTest::newRow("exposure with a space reads back as typed") << QStringList{} << "2.5 s"
                                                               << QStringList{"DSLR 100 Luminance 2.5 s 140"}
                                                               << "2.5 s" << "140";
    QTest::newRow("exposure with two blanks reads back as typed") << QStringList{} << "1 /  30"
                                                                  << QStringList{"DSLR 100 Luminance 1 /  30 140"}
                                                                  << "1 /  30" << "140";
}

void AdvisorTabsTest::settingsApply()
{
    QFETCH(QStringList, table);
    QFETCH(QString, typed);
    QFETCH(QStringList, tableAfter);
    QFETCH(QString, shownExposure);
    QFETCH(QString, shownLevel);

    auto w = lampOnWindow();
    setTable(*w, table);
    child<QSpinBox>(*w, "MT_lampLevelSpinBox")->setValue(140);
    if (!typed.isNull())
        typeExposure(*w, typed);

    pressButton(*w, "ST_applyButton");

    QCOMPARE(tableLines(*w), tableAfter);
    QVERIFY(!child<QLineEdit>(*w, "ST_exposureValue")->isEnabled());
    QCOMPARE(text(*w, "FT_exposureSetting"), shownExposure);
    QCOMPARE(text(*w, "FT_lightSetting"), shownLevel);
}

// The camera field comes from the camera chosen last on either tab, the ISO from the settings tab.
void AdvisorTabsTest::settingsApplyTakesCameraChosenLast()
{
    auto w = lampOnWindow();
    child<QComboBox>(*w, "FT_cameraTypeSetting")->setCurrentText("CCD");
    QCOMPARE(child<QComboBox>(*w, "ST_cameraSetting")->currentText(), QStringLiteral("DSLR"));
    child<QComboBox>(*w, "ST_isobinSetting")->setCurrentText("800");
    child<QSpinBox>(*w, "MT_lampLevelSpinBox")->setValue(60);
    typeExposure(*w, "3");

    pressButton(*w, "ST_applyButton");

    QCOMPARE(tableLines(*w), QStringList{"CCD 800 Luminance 3 60"});
}

void AdvisorTabsTest::exposureFieldFollowsModifyAndApply()
{
    auto w = lampOnWindow();
    auto *exposure = child<QLineEdit>(*w, "ST_exposureValue");
    pressButton(*w, "ST_modifyButton");
    QVERIFY(exposure->isEnabled());
    QCOMPARE(exposure->text(), QStringLiteral("0"));

    // With the lamp off the field stays editable, but Apply does nothing until the lamp is on again.
    VelmoraFlatTestAccess::setLampControlsEnabled(*w, false);
    QVERIFY(exposure->isEnabled());
    pressButton(*w, "ST_applyButton");
    QVERIFY(tableLines(*w).isEmpty());
    QVERIFY(exposure->isEnabled());

    VelmoraFlatTestAccess::setLampControlsEnabled(*w, true);
    pressButton(*w, "ST_applyButton");
    QCOMPARE(tableLines(*w).size(), 1);
    QVERIFY(!exposure->isEnabled());
}

VELMORA_TEST_MAIN(AdvisorTabsTest)
#include "tst_advisortabs.moc"
