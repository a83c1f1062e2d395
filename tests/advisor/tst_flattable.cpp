// The flat table lookup on its own: which line matches a key and what it gives as exposure and light level.
#include "filterkind.h"
#include "flatrecord.h"
#include "flattable.h"

#include <QFile>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

std::vector<QString> tableOf(const QStringList &lines)
{
    return std::vector<QString>(lines.cbegin(), lines.cend());
}

// Camera type, ISO/binning, filter, exposure and level.
FlatRecord recordOf(const QStringList &fields)
{
    FlatRecord record;
    record.cameraType = fields.at(0);
    record.isoBin = fields.at(1);
    record.filter = fields.at(2);
    record.exposure = fields.at(3);
    record.level = fields.at(4);
    return record;
}

// The translations of the window's context in a Qt translation source.
QMap<QString, QString> windowTranslations(const QString &path)
{
    QFile file(path);
    QMap<QString, QString> translations;
    if (!file.open(QIODevice::ReadOnly))
        return translations;
    QXmlStreamReader xml(&file);
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation"))
            translations.insert(source, xml.readElementText());
    }
    return translations;
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
    void filterKinds_data();
    void filterKinds();
    void findRecord_data();
    void findRecord();
    void italianNamesAsTheTranslation();
};

void TestFlatTable::lookUp_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("exposure");
    QTest::addColumn<QString>("lightLevel");
    QTest::addColumn<bool>("fieldsDisagree"); // the key is not the line's first fields: findFlatRecord finds nothing

    const QString red = QStringLiteral("DSLR 800 Red");
    QTest::newRow("line as the editor writes it") << QStringList{"DSLR 800 Red 2.5 140"} << red << 0 << "2.5" << "140"
        << false;
    QTest::newRow("first of two lines with the same key")
        << QStringList{"DSLR 100 Blue 1 10", "DSLR 800 Red 2 20", "DSLR 800 Red 3 30"} << red << 1 << "2" << "20"
        << false;
    QTest::newRow("Light Pollution: key of four fields")
        << QStringList{"DSLR 100 Light Pollution 3 90"} << "DSLR 100 Light Pollution" << 0 << "3" << "90" << false;
    QTest::newRow("other text before the key: fields counted from the line start")
        << QStringList{"old DSLR 800 Red 140"} << red << 0 << "Red" << "140" << true;
    QTest::newRow("other text before the key and a full line after it")
        << QStringList{"old DSLR 800 Red 2.5 140"} << red << 0 << "Red 2.5" << "140" << true;
    QTest::newRow("key only begins a longer filter name")
        << QStringList{"DSLR 800 Reddish 4 44"} << red << 0 << "4" << "44" << true;
    QTest::newRow("empty line is skipped") << QStringList{"", "DSLR 800 Red 1 2"} << red << 1 << "1" << "2" << false;
    QTest::newRow("line shorter than the key is skipped")
        << QStringList{"DSLR 800", "DSLR 800 Red 1 2"} << red << 1 << "1" << "2" << false;
    QTest::newRow("line that is exactly the key: the filter for both") << QStringList{red} << red << 0 << "Red"
                                                                         << "Red" << false;
    QTest::newRow("Light Pollution line that is exactly the key")
        << QStringList{"CCD 2x2 Light Pollution"} << "CCD 2x2 Light Pollution" << 0 << "Pollution" << "Pollution"
        << false;
    QTest::newRow("one field after the key: used for both") << QStringList{"DSLR 800 Red 2.5"} << red << 0 << "2.5"
                                                              << "2.5" << false;
    QTest::newRow("blank after the exposure, no level: empty level")
        << QStringList{"DSLR 800 Red 2.5 "} << red << 0 << "2.5" << "" << false;
    QTest::newRow("blank after the level, as hand-edited files have")
        << QStringList{"DSLR 800 Red 2.5 140 "} << red << 0 << "2.5" << "140" << false;
    QTest::newRow("exposure with a space") << QStringList{"DSLR 800 Red 2.5 s 140"} << red << 0 << "2.5 s" << "140"
        << false;
    QTest::newRow("exposure with two blanks")
        << QStringList{"DSLR 800 Red 2.5  s 140"} << red << 0 << "2.5  s" << "140" << false;
    QTest::newRow("exposure with a space and blanks after the level")
        << QStringList{"DSLR 800 Red 2.5 s 140  "} << red << 0 << "2.5 s" << "140" << false;
    QTest::newRow("empty exposure: two spaces before the level")
        << QStringList{"DSLR 800 Red  140"} << red << 0 << "" << "140" << false;
    QTest::newRow("a tab is an ordinary character")
        << QStringList{"DSLR 800 Red\t2 30"} << red << 0 << "30" << "30" << true;
    QTest::newRow("nothing is trimmed") << QStringList{"DSLR 800 Red 2.5\t 140\t"} << red << 0 << "2.5\t" << "140\t"
        << false;
    QTest::newRow("Custom entries") << QStringList{"CCD Custom Custom 9 99"} << "CCD Custom Custom" << 0 << "9"
                                    << "99" << false;
    QTest::newRow("translated, non-ASCII filter name")
        << QStringList{QString::fromUtf8("DSLR 800 Rosso scuro \u00e8 7 70")}
        << QString::fromUtf8("DSLR 800 Rosso scuro \u00e8") << 0 << "7" << "70" << false;
    QTest::newRow("trailing note after the level: the two fields after the key")
        << QStringList{"DSLR 800 Red 2.5 140 dusk"} << red << 0 << "2.5" << "140" << false;
    QTest::newRow("trailing number over 255 is no level: the two fields after the key")
        << QStringList{"DSLR 800 Red 2.5 s 300"} << red << 0 << "2.5" << "s" << false;
    QTest::newRow("trailing signed number is no level") << QStringList{"DSLR 800 Red 2.5 s -1"} << red << 0 << "2.5"
                                                        << "s" << false;
    QTest::newRow("level 0 and 255 end a joined exposure")
        << QStringList{"DSLR 800 Red 1 / 30 s 255", "DSLR 800 Green 1 / 30 s 0"} << red << 0 << "1 / 30 s" << "255"
        << false;
    QTest::newRow("light level that is not a number is handed back as it is")
        << QStringList{"DSLR 800 Red 2 bright"} << red << 0 << "2" << "bright" << false;
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

// The rule that the INDI driver and the assistant share finds the line, exposure and level that the window's lookup
// shows for the same key, except where the key is not the line's first fields.
void TestFlatTable::recordReadsAsTheLookup()
{
    QFETCH(QStringList, table);
    QFETCH(QString, key);
    QFETCH(int, index);
    QFETCH(QString, exposure);
    QFETCH(QString, lightLevel);
    QFETCH(bool, fieldsDisagree);

    const FlatRecordMatch match = findFlatRecord(tableOf(table), key.section(' ', 0, 0), key.section(' ', 1, 1),
                                                 key.section(' ', 2));
    QCOMPARE(match.found, !fieldsDisagree);
    if (fieldsDisagree)
        return;
    QCOMPARE(match.index, index);
    QCOMPARE(match.record.key(), key);
    QCOMPARE(match.record.exposure, exposure);
    QCOMPARE(match.record.level, lightLevel);
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
    QTest::newRow("Italian filter with a blank") << "CCD 2x2 Inq. luminoso 0.5 12"
                                                 << QStringList{"CCD", "2x2", "Inq. luminoso", "0.5", "12", ""} << 12;
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
    QTest::addColumn<QStringList>("record"); // camera type, ISO/binning, the wheel's filter name, exposure, level
    QTest::addColumn<QStringList>("wheelNames");
    QTest::addColumn<QStringList>("after");

    const QStringList red = {"CCD", "1x1", "Red", "2", "143"};
    const QStringList noWheel;
    QTest::newRow("empty table: appended") << QStringList{} << red << noWheel << QStringList{"CCD 1x1 Red 2 143"};
    QTest::newRow("same configuration replaced in place, the rest kept")
        << QStringList{"# flats", "CCD 1x1 Red 2 100 old", "", "CCD 1x1 Green 2 90"} << red << noWheel
        << QStringList{"# flats", "CCD 1x1 Red 2 143", "", "CCD 1x1 Green 2 90"};
    QTest::newRow("other binning or camera type kept")
        << QStringList{"CCD 2x2 Red 2 100", "DSLR 1x1 Red 2 100"} << red << noWheel
        << QStringList{"CCD 2x2 Red 2 100", "DSLR 1x1 Red 2 100", "CCD 1x1 Red 2 143"};
    QTest::newRow("a longer filter name is another filter")
        << QStringList{"CCD 1x1 Reddish 2 100"} << red << noWheel
        << QStringList{"CCD 1x1 Reddish 2 100", "CCD 1x1 Red 2 143"};
    QTest::newRow("filter with a blank replaced")
        << QStringList{"CCD 1x1 Light Pollution 1 50"} << QStringList{"CCD", "1x1", "Light Pollution", "0.5", "12"}
        << noWheel << QStringList{"CCD 1x1 Light Pollution 0.5 12"};
    QTest::newRow("only the first of two equal configurations replaced")
        << QStringList{"CCD 1x1 Red 1 1", "CCD 1x1 Red 2 2"} << red << noWheel
        << QStringList{"CCD 1x1 Red 2 143", "CCD 1x1 Red 2 2"};

    const QStringList narrowband = {"OIII", "OIII 3nm", "H_Alpha", "Ha 7nm"};
    QTest::newRow("OIII beside OIII 3nm: the 3nm line is kept")
        << QStringList{"CCD 1x1 OIII 3nm 5 150"} << QStringList{"CCD", "1x1", "OIII", "4", "120"} << narrowband
        << QStringList{"CCD 1x1 OIII 3nm 5 150", "CCD 1x1 OIII 4 120"};
    QTest::newRow("OIII 3nm replaced, the OIII line kept")
        << QStringList{"CCD 1x1 OIII 4 120", "CCD 1x1 OIII 3nm 5 150"}
        << QStringList{"CCD", "1x1", "OIII 3nm", "6", "170"} << narrowband
        << QStringList{"CCD 1x1 OIII 4 120", "CCD 1x1 OIII 3nm 6 170"};
    QTest::newRow("H_Alpha replaces the H-alpha line, not the Ha 7nm one")
        << QStringList{"CCD 1x1 Ha 7nm 3 200", "CCD 1x1 H-alpha 9 230"}
        << QStringList{"CCD", "1x1", "H_Alpha", "30", "250"} << narrowband
        << QStringList{"CCD 1x1 Ha 7nm 3 200", "CCD 1x1 H-alpha 30 250"};
    QTest::newRow("a line the Italian panel saved is replaced in Italian")
        << QStringList{"CCD 1x1 H-alfa 9 230", "CCD 1x1 Inq. luminoso 2 90"}
        << QStringList{"CCD", "1x1", "LPR", "1.5", "80"} << QStringList{"H_Alpha", "LPR"}
        << QStringList{"CCD 1x1 H-alfa 9 230", "CCD 1x1 Inq. luminoso 1.5 80"};
    QTest::newRow("a wheel's short name is added as the panel names it")
        << QStringList{"CCD 1x1 Ha 7nm 3 200"} << QStringList{"CCD", "1x1", "Ha", "30", "250"}
        << QStringList{"Ha", "Ha 7nm"} << QStringList{"CCD 1x1 Ha 7nm 3 200", "CCD 1x1 H-alpha 30 250"};
    QTest::newRow("a name with two blanks the panel does not know is added as the wheel names it")
        << QStringList{"CCD 1x1 OIII 4 120"} << QStringList{"CCD", "1x1", "Baader OIII 3.5nm", "12", "210"}
        << QStringList{"OIII", "Baader OIII 3.5nm"}
        << QStringList{"CCD 1x1 OIII 4 120", "CCD 1x1 Baader OIII 3.5nm 12 210"};
}

// The line put in is the one the shared rule finds for the wheel's filter afterwards.
void TestFlatTable::putRecord()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, record);
    QFETCH(QStringList, wheelNames);
    QFETCH(QStringList, after);

    std::vector<QString> table = tableOf(before);
    const FlatRecord written = putFlatRecord(table, recordOf(record), wheelNames);
    QCOMPARE(QStringList(table.cbegin(), table.cend()), after);
    const FlatRecordMatch found = findFlatRecord(table, record[0], record[1], record[2], wheelNames);
    QVERIFY(found.found);
    QCOMPARE(table.at(size_t(found.index)), written.line());
    QCOMPARE(found.record.filter, written.filter);
    QCOMPARE(found.record.exposure, record[3]);
    QCOMPARE(found.record.level, record[4]);
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
    QTest::newRow("unknown filter keeps nothing of the panel's") << "Baader UHC" << empty << "" << "Baader UHC";
    QTest::newRow("unknown filter found in the table as written")
        << "Baader_UHC" << QStringList{"CCD 1x1 Baader_UHC 30 200"} << "" << "Baader_UHC";
    QTest::newRow("table's own spelling wins") << "Ha" << QStringList{"CCD 1x1 Ha 30 200"} << "H-alpha" << "Ha";
    QTest::newRow("table written with the panel's name") << "H_Alpha" << QStringList{"CCD 1x1 H-alpha 30 200"}
                                                         << "H-alpha" << "H-alpha";
    QTest::newRow("empty name") << "" << empty << "" << "";
    QTest::newRow("Italian panel name") << "Luminanza" << empty << "Luminance" << "Luminance";
    QTest::newRow("Italian panel name loosely") << "INQ.luminoso" << empty << "Light Pollution" << "Light Pollution";
    QTest::newRow("table the Italian panel saved") << "LPR" << QStringList{"CCD 1x1 Inq. luminoso 2 90"}
                                                   << "Light Pollution" << "Inq. luminoso";
    QTest::newRow("a narrowband name beside the panel's is the wheel's own")
        << "Ha 7nm" << QStringList{"CCD 1x1 H-alpha 9 230"} << "" << "Ha 7nm";
    QTest::newRow("Hα") << "Hα" << empty << "H-alpha" << "H-alpha";
    QTest::newRow("HΑ with a capital Greek alpha") << "HΑ" << empty << "H-alpha" << "H-alpha";
    QTest::newRow("the Italian H-alfa in capitals") << "H-ALFA" << empty << "H-alpha" << "H-alpha";
    QTest::newRow("SII with a long s") << "\u017fII" << empty << "SII" << "SII";
    QTest::newRow("a blank no wider than a letter") << "Light\u2009Pollution" << empty << "Light Pollution"
                                                    << "Light Pollution";
    QTest::newRow("H-beta is no panel name") << "Hβ" << empty << "" << "Hβ";
}

// What a filter's name says of it, for the search's rate guess and the frame model alike.
void TestFlatTable::filterKinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("band");
    QTest::addColumn<QString>("canonical");

    using filterkind::Band;
    using filterkind::Kind;
    const auto row = [](const char *name, Kind kind, Band band, const char *canonical) {
        QTest::newRow(name) << QString::fromUtf8(name) << int(kind) << int(band) << QString::fromUtf8(canonical);
    };
    row("Luminance", Kind::Luminance, Band::None, "Luminance");
    row("L", Kind::Luminance, Band::None, "Luminance");
    row("Lum", Kind::Luminance, Band::None, "Luminance");
    row("Luminanza", Kind::Luminance, Band::None, "Luminance");
    row("R", Kind::Colour, Band::Red, "Red");
    row("Rosso", Kind::Colour, Band::Red, "Red");
    row("G", Kind::Colour, Band::Green, "Green");
    row("Verde", Kind::Colour, Band::Green, "Green");
    row("Blu", Kind::Colour, Band::Blue, "Blue");
    row("Blue", Kind::Colour, Band::Blue, "Blue");
    row("Hα", Kind::Narrowband, Band::HAlpha, "H-alpha");
    row("H-alpha", Kind::Narrowband, Band::HAlpha, "H-alpha");
    row("Ha", Kind::Narrowband, Band::HAlpha, "H-alpha");
    row("H_Alpha", Kind::Narrowband, Band::HAlpha, "H-alpha");
    row("H-alfa", Kind::Narrowband, Band::HAlpha, "H-alpha");
    row("OIII", Kind::Narrowband, Band::OIII, "OIII");
    row("O3", Kind::Narrowband, Band::OIII, "OIII");
    row("SII", Kind::Narrowband, Band::SII, "SII");
    row("S2", Kind::Narrowband, Band::SII, "SII");
    row("Hβ", Kind::Narrowband, Band::HBeta, "H-beta");
    row("Hbeta", Kind::Narrowband, Band::HBeta, "H-beta");
    row("LPR", Kind::Broadband, Band::None, "Light Pollution");
    row("Inq. luminoso", Kind::Broadband, Band::None, "Light Pollution");
    row("Altro", Kind::Unknown, Band::None, "Custom");
    // A kind from how the name begins, without a canonical name: the table keeps the wheel's own.
    row("Ha 7nm", Kind::Narrowband, Band::HAlpha, "");
    row("Hα 3nm", Kind::Narrowband, Band::HAlpha, "");
    row("OIII 6.5nm", Kind::Narrowband, Band::OIII, "");
    row("Red 2", Kind::Colour, Band::Red, "");
    row("Baader UHC", Kind::Unknown, Band::None, "");
    row("", Kind::Unknown, Band::None, "");
}

void TestFlatTable::filterKinds()
{
    QFETCH(QString, name);
    QFETCH(int, kind);
    QFETCH(int, band);
    QFETCH(QString, canonical);

    const filterkind::Filter filter = filterkind::classify(name.toStdString());
    QCOMPARE(int(filter.kind), kind);
    QCOMPARE(int(filter.band), band);
    QCOMPARE(QString::fromStdString(filter.canonical), canonical);
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

void TestFlatTable::findRecord_data()
{
    QTest::addColumn<QStringList>("table"); // CCD 1x1 lines, or others that the filter must not find
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("wheelNames");
    QTest::addColumn<int>("index"); // -1: no line
    QTest::addColumn<QStringList>("record"); // filter as the line spells it, exposure, level, note

    const QStringList wheel = {"OIII 3nm", "Ha 7nm", "Blue", "H_Alpha", "SII", "OIII", "LPR", "Luminance"};
    const QStringList oiii = {"CCD 1x1 OIII 4 120", "CCD 1x1 OIII 3nm 5 150"};
    const QStringList oiiiNarrowFirst = {oiii[1], oiii[0]};
    const QStringList hAlpha = {"CCD 1x1 H-alfa 9 230", "CCD 1x1 Ha 7nm 3 200"};
    const QStringList hAlphaNarrowFirst = {hAlpha[1], hAlpha[0]};
    const QStringList none;
    QTest::newRow("OIII beside OIII 3nm") << oiii << "OIII" << wheel << 0 << QStringList{"OIII", "4", "120", ""};
    QTest::newRow("OIII after OIII 3nm") << oiiiNarrowFirst << "OIII" << wheel << 1
                                         << QStringList{"OIII", "4", "120", ""};
    QTest::newRow("OIII 3nm after OIII") << oiii << "OIII 3nm" << wheel << 1
                                         << QStringList{"OIII 3nm", "5", "150", ""};
    QTest::newRow("OIII 3nm before OIII") << oiiiNarrowFirst << "OIII 3nm" << wheel << 0
                                          << QStringList{"OIII 3nm", "5", "150", ""};
    QTest::newRow("H_Alpha: the Italian H-alfa beside Ha 7nm")
        << hAlpha << "H_Alpha" << wheel << 0 << QStringList{"H-alfa", "9", "230", ""};
    QTest::newRow("H_Alpha: the Italian H-alfa after Ha 7nm")
        << hAlphaNarrowFirst << "H_Alpha" << wheel << 1 << QStringList{"H-alfa", "9", "230", ""};
    QTest::newRow("Ha 7nm beside H-alfa") << hAlpha << "Ha 7nm" << wheel << 1
                                          << QStringList{"Ha 7nm", "3", "200", ""};
    QTest::newRow("Ha beside Ha 7nm") << QStringList{"CCD 1x1 Ha 7nm 3 200", "CCD 1x1 Ha 2 100"} << "Ha"
                                      << QStringList{"Ha", "Ha 7nm"} << 1 << QStringList{"Ha", "2", "100", ""};
    QTest::newRow("LPR: the Italian panel's Inq. luminoso")
        << QStringList{"CCD 1x1 Inq. luminoso 2 90"} << "LPR" << wheel << 0
        << QStringList{"Inq. luminoso", "2", "90", ""};
    QTest::newRow("Luminance: the Italian panel's Luminanza")
        << QStringList{"CCD 1x1 Luminanza 0.5 60"} << "Luminance" << wheel << 0
        << QStringList{"Luminanza", "0.5", "60", ""};
    QTest::newRow("Red: the Italian panel's Rosso") << QStringList{"CCD 1x1 Rosso 2 50"} << "Red" << none << 0
                                                    << QStringList{"Rosso", "2", "50", ""};
    QTest::newRow("Custom: the Italian panel's Altro") << QStringList{"CCD 1x1 Altro 3 33"} << "Custom" << none << 0
                                                       << QStringList{"Altro", "3", "33", ""};
    QTest::newRow("the exact name before the panel's English one")
        << QStringList{"CCD 1x1 H-alpha 1 10", "CCD 1x1 Ha 2 20"} << "Ha" << none << 1
        << QStringList{"Ha", "2", "20", ""};
    QTest::newRow("the panel's English name before its Italian one")
        << QStringList{"CCD 1x1 Luminanza 0.5 60", "CCD 1x1 Luminance 1 70"} << "Lum" << none << 1
        << QStringList{"Luminance", "1", "70", ""};
    QTest::newRow("a wheel's name that is not the panel's, found as written")
        << QStringList{"CCD 1x1 Baader UHC 30 200"} << "Baader UHC" << none << 0
        << QStringList{"Baader UHC", "30", "200", ""};
    QTest::newRow("name with two blanks") << QStringList{"CCD 1x1 Baader OIII 3.5nm 12 210", "CCD 1x1 OIII 4 120"}
                                          << "Baader OIII 3.5nm" << QStringList{"OIII"} << 0
                                          << QStringList{"Baader OIII 3.5nm", "12", "210", ""};
    QTest::newRow("two blanks in a row in a name")
        << QStringList{"CCD 1x1 OIII  3nm 6 160", "CCD 1x1 OIII 4 120"} << "OIII  3nm" << QStringList{"OIII"} << 0
        << QStringList{"OIII  3nm", "6", "160", ""};
    QTest::newRow("beside a name with two blanks in a row")
        << QStringList{"CCD 1x1 OIII  3nm 6 160", "CCD 1x1 OIII 4 120"} << "OIII" << QStringList{"OIII  3nm"} << 1
        << QStringList{"OIII", "4", "120", ""};
    QTest::newRow("a line with a note") << QStringList{"CCD 1x1 Red 2.5 140 dusk, new panel"} << "Red" << none << 0
                                        << QStringList{"Red", "2.5", "140", "dusk, new panel"};
    QTest::newRow("an exposure typed with a blank") << QStringList{"CCD 1x1 Light Pollution 1 s 90"} << "LPR" << wheel
                                                    << 0 << QStringList{"Light Pollution", "1 s", "90", ""};
    QTest::newRow("an exposure typed with a blank, Italian line")
        << QStringList{"CCD 1x1 Inq. luminoso 1 s 90"} << "LPR" << wheel << 0
        << QStringList{"Inq. luminoso", "1 s", "90", ""};
    QTest::newRow("a line that is only the key") << QStringList{"CCD 1x1 Red"} << "Red" << none << 0
                                                 << QStringList{"Red", "Red", "Red", ""};
    QTest::newRow("a panel name with a blank beside a wheel name that begins it")
        << QStringList{"CCD 1x1 Light Pollution 1 90", "CCD 1x1 Light 2 80"} << "Light" << none << 1
        << QStringList{"Light", "2", "80", ""};
    QTest::newRow("a line whose filter only begins like the wheel's")
        << QStringList{"CCD 1x1 Reddish 2 100"} << "Red" << none << -1 << none;
    QTest::newRow("other binning or camera type")
        << QStringList{"CCD 2x2 Red 1 1", "DSLR 1x1 Red 2 2"} << "Red" << none << -1 << none;
    QTest::newRow("text before the key") << QStringList{"old CCD 1x1 Red 2 100"} << "Red" << none << -1 << none;
    QTest::newRow("a short form in the table is another name")
        << QStringList{"CCD 1x1 R 2 22", "CCD 1x1 o-iii 5 55"} << "Red" << none << -1 << none;
    QTest::newRow("case differs") << QStringList{"CCD 1x1 red 2 22"} << "Red" << none << -1 << none;
    QTest::newRow("empty filter name") << QStringList{"CCD 1x1  2 22"} << "" << none << -1 << none;
}

void TestFlatTable::findRecord()
{
    QFETCH(QStringList, table);
    QFETCH(QString, filter);
    QFETCH(QStringList, wheelNames);
    QFETCH(int, index);
    QFETCH(QStringList, record);

    const FlatRecordMatch match = findFlatRecord(tableOf(table), "CCD", "1x1", filter, wheelNames);
    QCOMPARE(match.found, index >= 0);
    if (!match.found)
        return;
    QCOMPARE(match.index, index);
    QCOMPARE((QStringList{match.record.filter, match.record.exposure, match.record.level, match.record.note}), record);
    QCOMPARE(match.record.key(), "CCD 1x1 " + record[0]);
}

// A table the Italian panel saved holds the texts of its translation.
void TestFlatTable::italianNamesAsTheTranslation()
{
    const QMap<QString, QString> translations = windowTranslations(QStringLiteral(VELMORA_ITALIAN_TS));
    QVERIFY(!translations.isEmpty());
    for (const QString &name : panelFilterNames()) {
        QVERIFY2(translations.contains(name), qPrintable(name));
        QCOMPARE(italianFilterName(name), translations.value(name));
    }
    QCOMPARE(italianPanelFilterNames().size(), panelFilterNames().size());
    QCOMPARE(italianFilterName(QStringLiteral("Luminance")), QStringLiteral("Luminanza"));
    QCOMPARE(italianFilterName(QStringLiteral("Light Pollution")), QStringLiteral("Inq. luminoso"));
    QCOMPARE(italianFilterName(QStringLiteral("LPR")), QString());
}

QTEST_APPLESS_MAIN(TestFlatTable)
#include "tst_flattable.moc"
