// The flat table lookup on its own: which line matches a key and what it gives as exposure and light level.
#include "flatrecord.h"
#include "flattable.h"

#include <QtTest>

namespace {

std::vector<QString> tableOf(const QStringList &lines)
{
    return std::vector<QString>(lines.cbegin(), lines.cend());
}

} // namespace

class TestFlatTable : public QObject
{
    Q_OBJECT

private slots:
    void lookUp_data();
    void lookUp();
    void notFoundLeavesDefaults_data();
    void notFoundLeavesDefaults();
    void editorLineReadsBack_data();
    void editorLineReadsBack();
    void recordReadsAsTheLookup_data() { lookUp_data(); }
    void recordReadsAsTheLookup();
    void editorLineAsRecord_data() { editorLineReadsBack_data(); }
    void editorLineAsRecord();
    void recordFields_data();
    void recordFields();
    void putRecord_data();
    void putRecord();
    void filterNames_data();
    void filterNames();
};

void TestFlatTable::lookUp_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("exposure");
    QTest::addColumn<QString>("lightLevel");

    const QString red = QStringLiteral("DSLR 800 Red");
    QTest::newRow("line as the editor writes it") << QStringList{"DSLR 800 Red 2.5 140"} << red << 0 << "2.5" << "140";
    QTest::newRow("first of two lines with the same key")
        << QStringList{"DSLR 100 Blue 1 10", "DSLR 800 Red 2 20", "DSLR 800 Red 3 30"} << red << 1 << "2" << "20";
    QTest::newRow("Light Pollution: key of four fields")
        << QStringList{"DSLR 100 Light Pollution 3 90"} << "DSLR 100 Light Pollution" << 0 << "3" << "90";
    QTest::newRow("other text before the key: fields counted from the line start")
        << QStringList{"old DSLR 800 Red 140"} << red << 0 << "Red" << "140";
    QTest::newRow("other text before the key and a full line after it")
        << QStringList{"old DSLR 800 Red 2.5 140"} << red << 0 << "Red 2.5" << "140";
    QTest::newRow("key only begins a longer filter name")
        << QStringList{"DSLR 800 Reddish 4 44"} << red << 0 << "4" << "44";
    QTest::newRow("empty line is skipped") << QStringList{"", "DSLR 800 Red 1 2"} << red << 1 << "1" << "2";
    QTest::newRow("line shorter than the key is skipped")
        << QStringList{"DSLR 800", "DSLR 800 Red 1 2"} << red << 1 << "1" << "2";
    QTest::newRow("line that is exactly the key: the filter for both") << QStringList{red} << red << 0 << "Red"
                                                                         << "Red";
    QTest::newRow("Light Pollution line that is exactly the key")
        << QStringList{"CCD 2x2 Light Pollution"} << "CCD 2x2 Light Pollution" << 0 << "Pollution" << "Pollution";
    QTest::newRow("one field after the key: used for both") << QStringList{"DSLR 800 Red 2.5"} << red << 0 << "2.5"
                                                              << "2.5";
    QTest::newRow("blank after the exposure, no level: empty level")
        << QStringList{"DSLR 800 Red 2.5 "} << red << 0 << "2.5" << "";
    QTest::newRow("blank after the level, as hand-edited files have")
        << QStringList{"DSLR 800 Red 2.5 140 "} << red << 0 << "2.5" << "140";
    QTest::newRow("exposure with a space") << QStringList{"DSLR 800 Red 2.5 s 140"} << red << 0 << "2.5 s" << "140";
    QTest::newRow("exposure with two blanks")
        << QStringList{"DSLR 800 Red 2.5  s 140"} << red << 0 << "2.5  s" << "140";
    QTest::newRow("exposure with a space and blanks after the level")
        << QStringList{"DSLR 800 Red 2.5 s 140  "} << red << 0 << "2.5 s" << "140";
    QTest::newRow("empty exposure: two spaces before the level")
        << QStringList{"DSLR 800 Red  140"} << red << 0 << "" << "140";
    QTest::newRow("a tab is an ordinary character")
        << QStringList{"DSLR 800 Red\t2 30"} << red << 0 << "30" << "30";
    QTest::newRow("nothing is trimmed") << QStringList{"DSLR 800 Red 2.5\t 140\t"} << red << 0 << "2.5\t" << "140\t";
    QTest::newRow("Custom entries") << QStringList{"CCD Custom Custom 9 99"} << "CCD Custom Custom" << 0 << "9"
                                    << "99";
    QTest::newRow("translated, non-ASCII filter name")
        << QStringList{QString::fromUtf8("DSLR 800 Rosso scuro \u00e8 7 70")}
        << QString::fromUtf8("DSLR 800 Rosso scuro \u00e8") << 0 << "7" << "70";
    QTest::newRow("trailing note after the level: the two fields after the key")
        << QStringList{"DSLR 800 Red 2.5 140 dusk"} << red << 0 << "2.5" << "140";
    QTest::newRow("trailing number over 255 is no level: the two fields after the key")
        << QStringList{"DSLR 800 Red 2.5 s 300"} << red << 0 << "2.5" << "s";
    QTest::newRow("trailing signed number is no level") << QStringList{"DSLR 800 Red 2.5 s -1"} << red << 0 << "2.5"
                                                        << "s";
    QTest::newRow("level 0 and 255 end a joined exposure")
        << QStringList{"DSLR 800 Red 1 / 30 s 255", "DSLR 800 Green 1 / 30 s 0"} << red << 0 << "1 / 30 s" << "255";
    QTest::newRow("light level that is not a number is handed back as it is")
        << QStringList{"DSLR 800 Red 2 bright"} << red << 0 << "2" << "bright";
}

void TestFlatTable::lookUp()
{
    QFETCH(QStringList, table);
    QFETCH(QString, key);
    QFETCH(int, index);
    QFETCH(QString, exposure);
    QFETCH(QString, lightLevel);

    const FlatTableMatch match = lookUpConfiguration(tableOf(table), key);
    QVERIFY(match.found);
    QCOMPARE(match.index, index);
    QCOMPARE(match.exposure, exposure);
    QCOMPARE(match.lightLevel, lightLevel);
}

void TestFlatTable::notFoundLeavesDefaults_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("key");

    QTest::newRow("empty table") << QStringList{} << "DSLR 100 Luminance";
    QTest::newRow("only empty lines") << QStringList{"", ""} << "DSLR 100 Luminance";
    QTest::newRow("case differs") << QStringList{"dslr 100 luminance 1 2"} << "DSLR 100 Luminance";
    QTest::newRow("other ISO") << QStringList{"DSLR 1000 Red 1 2", "DSLR 1600 Red 1 2"} << "DSLR 100 Red";
    QTest::newRow("line shorter than the key") << QStringList{"DSLR 100 Re"} << "DSLR 100 Red";
    QTest::newRow("fields in another order") << QStringList{"DSLR Red 100 1 2"} << "DSLR 100 Red";
    QTest::newRow("other language") << QStringList{"DSLR 100 Rosso 1 2"} << "DSLR 100 Red";
}

void TestFlatTable::notFoundLeavesDefaults()
{
    QFETCH(QStringList, table);
    QFETCH(QString, key);

    const FlatTableMatch match = lookUpConfiguration(tableOf(table), key);
    QVERIFY(!match.found);
    QCOMPARE(match.index, 0);
    QVERIFY(match.exposure.isEmpty());
    QVERIFY(match.lightLevel.isEmpty());
}

// Whatever exposure the settings tab's editor stores, the lookup gives it back together with the level.
void TestFlatTable::editorLineReadsBack_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("exposure");
    QTest::addColumn<QString>("lightLevel");

    const QStringList keys = {"DSLR 800 Red", "CCD 1x1 Light Pollution"};
    const QStringList exposures = {"2.5", "2.5 s", "2.5  s", "", " ", "  ", " 2", "2 ", "1 / 30 s", "0"};
    for (const QString &key : keys)
        for (const QString &exposure : exposures)
            QTest::addRow("%s, exposure \"%s\"", qPrintable(key), qPrintable(exposure))
                << key << exposure << QStringLiteral("140");
}

void TestFlatTable::editorLineReadsBack()
{
    QFETCH(QString, key);
    QFETCH(QString, exposure);
    QFETCH(QString, lightLevel);

    const std::vector<QString> table = {key + ' ' + exposure + ' ' + lightLevel};
    const FlatTableMatch match = lookUpConfiguration(table, key);
    QVERIFY(match.found);
    QCOMPARE(match.exposure, exposure);
    QCOMPARE(match.lightLevel, lightLevel);
}

// A line parsed as a record gives the exposure and level that the window's lookup shows for the record's key.
void TestFlatTable::recordReadsAsTheLookup()
{
    QFETCH(QStringList, table);
    QFETCH(QString, key);
    QFETCH(QString, exposure);
    QFETCH(QString, lightLevel);

    const FlatTableMatch match = lookUpConfiguration(tableOf(table), key);
    const std::optional<FlatRecord> record = parseFlatRecord(table.at(match.index));
    QVERIFY(record);
    if (record->key() != key)
        QSKIP("the key is not where the line's record has it");
    QCOMPARE(record->exposure, exposure);
    QCOMPARE(record->level, lightLevel);
}

void TestFlatTable::editorLineAsRecord()
{
    QFETCH(QString, key);
    QFETCH(QString, exposure);
    QFETCH(QString, lightLevel);

    const QString line = key + ' ' + exposure + ' ' + lightLevel;
    const std::optional<FlatRecord> record = parseFlatRecord(line);
    QVERIFY(record);
    QCOMPARE(record->key(), key);
    QCOMPARE(record->exposure, exposure);
    QCOMPARE(record->level, lightLevel);
    QCOMPARE(record->line(), line);
}

void TestFlatTable::recordFields_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("fields"); // camera type, ISO/bin, filter, exposure, level, note; empty: no record
    QTest::addColumn<int>("lightLevel");

    QTest::newRow("editor's line") << "CCD 1x1 Red 2 143" << QStringList{"CCD", "1x1", "Red", "2", "143", ""} << 143;
    QTest::newRow("filter with a blank")
        << "CCD 2x2 Light Pollution 0.5 12" << QStringList{"CCD", "2x2", "Light Pollution", "0.5", "12", ""} << 12;
    QTest::newRow("trailing note") << "DSLR 800 Red 2.5 140 dusk, new panel"
                                   << QStringList{"DSLR", "800", "Red", "2.5", "140", "dusk, new panel"} << 140;
    QTest::newRow("a wheel's own filter name")
        << "CCD 1x1 Baader_UHC 30 200" << QStringList{"CCD", "1x1", "Baader_UHC", "30", "200", ""} << 200;
    QTest::newRow("level that is not a number")
        << "CCD 1x1 Red 2 bright" << QStringList{"CCD", "1x1", "Red", "2", "bright", ""} << -1;
    QTest::newRow("level over 255 held") << "CCD 1x1 Red 2 300 x" << QStringList{"CCD", "1x1", "Red", "2", "300", "x"}
                                         << 255;
    QTest::newRow("two fields: no record") << "CCD 1x1" << QStringList{} << -1;
    QTest::newRow("empty line: no record") << "" << QStringList{} << -1;
}

void TestFlatTable::recordFields()
{
    QFETCH(QString, line);
    QFETCH(QStringList, fields);
    QFETCH(int, lightLevel);

    const std::optional<FlatRecord> record = parseFlatRecord(line);
    QCOMPARE(bool(record), !fields.isEmpty());
    if (!record)
        return;
    QCOMPARE((QStringList{record->cameraType, record->isoBin, record->filter, record->exposure, record->level,
                          record->note}),
             fields);
    QCOMPARE(record->lightLevel(), lightLevel);
    QCOMPARE(record->line(), line);
}

void TestFlatTable::putRecord_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QStringList>("after");

    QTest::newRow("empty table: appended") << QStringList{} << "CCD 1x1 Red 2 143" << QStringList{"CCD 1x1 Red 2 143"};
    QTest::newRow("same configuration replaced in place, the rest kept")
        << QStringList{"# flats", "CCD 1x1 Red 2 100 old", "", "CCD 1x1 Green 2 90"} << "CCD 1x1 Red 2 143"
        << QStringList{"# flats", "CCD 1x1 Red 2 143", "", "CCD 1x1 Green 2 90"};
    QTest::newRow("other binning or camera type kept")
        << QStringList{"CCD 2x2 Red 2 100", "DSLR 1x1 Red 2 100"} << "CCD 1x1 Red 2 143"
        << QStringList{"CCD 2x2 Red 2 100", "DSLR 1x1 Red 2 100", "CCD 1x1 Red 2 143"};
    QTest::newRow("a longer filter name is another filter")
        << QStringList{"CCD 1x1 Reddish 2 100"} << "CCD 1x1 Red 2 143"
        << QStringList{"CCD 1x1 Reddish 2 100", "CCD 1x1 Red 2 143"};
    QTest::newRow("filter with a blank replaced")
        << QStringList{"CCD 1x1 Light Pollution 1 50"} << "CCD 1x1 Light Pollution 0.5 12"
        << QStringList{"CCD 1x1 Light Pollution 0.5 12"};
    QTest::newRow("only the first of two equal configurations replaced")
        << QStringList{"CCD 1x1 Red 1 1", "CCD 1x1 Red 2 2"} << "CCD 1x1 Red 2 143"
        << QStringList{"CCD 1x1 Red 2 143", "CCD 1x1 Red 2 2"};
}

void TestFlatTable::putRecord()
{
    QFETCH(QStringList, before);
    QFETCH(QString, record);
    QFETCH(QStringList, after);

    std::vector<QString> table = tableOf(before);
    putFlatRecord(table, *parseFlatRecord(record));
    QCOMPARE(QStringList(table.cbegin(), table.cend()), after);
}

void TestFlatTable::filterNames_data()
{
    QTest::addColumn<QString>("wheelName");
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("panelName");
    QTest::addColumn<QString>("tableName");

    const QStringList empty;
    QTest::newRow("panel name") << "Red" << empty << "Red" << "Red";
    QTest::newRow("H_Alpha") << "H_Alpha" << empty << "H-alpha" << "H-alpha";
    QTest::newRow("Ha") << "Ha" << empty << "H-alpha" << "H-alpha";
    QTest::newRow("LPR") << "LPR" << empty << "Light Pollution" << "Light Pollution";
    QTest::newRow("lum") << "lum" << empty << "Luminance" << "Luminance";
    QTest::newRow("O3 and S2") << "O3" << empty << "OIII" << "OIII";
    QTest::newRow("loose: case, blanks and dashes") << "light-pollution" << empty << "Light Pollution"
                                                    << "Light Pollution";
    QTest::newRow("unknown filter keeps nothing of the panel's") << "Baader UHC" << empty << "" << "";
    QTest::newRow("unknown filter found in the table as written")
        << "Baader_UHC" << QStringList{"CCD 1x1 Baader_UHC 30 200"} << "" << "Baader_UHC";
    QTest::newRow("table's own spelling wins") << "Ha" << QStringList{"CCD 1x1 Ha 30 200"} << "H-alpha" << "Ha";
    QTest::newRow("table written with the panel's name") << "H_Alpha" << QStringList{"CCD 1x1 H-alpha 30 200"}
                                                         << "H-alpha" << "H-alpha";
    QTest::newRow("empty name") << "" << empty << "" << "";
}

void TestFlatTable::filterNames()
{
    QFETCH(QString, wheelName);
    QFETCH(QStringList, table);
    QFETCH(QString, panelName);
    QFETCH(QString, tableName);

    QCOMPARE(panelFilterName(wheelName), panelName);
    QCOMPARE(tableFilterName(wheelName, tableOf(table), QStringLiteral("CCD"), QStringLiteral("1x1")), tableName);
}

QTEST_APPLESS_MAIN(TestFlatTable)
#include "tst_flattable.moc"
