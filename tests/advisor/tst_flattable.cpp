// The flat table lookup on its own: which line matches a key and what it gives as exposure and light level.
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

QTEST_APPLESS_MAIN(TestFlatTable)
#include "tst_flattable.moc"
