// The assistant's results merged into a table file: which lines are replaced, which are kept, and how the filters
// of the new lines are spelled, read back as the panel reads the file.
#include "configfile.h"
#include "tablewriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// "filter exposure level" for CCD 1x1, the filter being a wheel's name that may hold blanks: the last two words are
// the exposure and the level.
FlatRecord result(const QString &text)
{
    FlatRecord record;
    record.cameraType = QStringLiteral("CCD");
    record.isoBin = QStringLiteral("1x1");
    record.filter = text.section(' ', 0, -3);
    record.exposure = text.section(' ', -2, -2);
    record.level = text.section(' ', -1);
    return record;
}

QStringList readBack(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("(no file)")};
    const configfile::ReadResult read = configfile::readConfiguration(file);
    return QStringList(read.lines.cbegin(), read.lines.cend());
}

} // namespace

class TableWriterTest : public QObject
{
    Q_OBJECT

private slots:
    void merge_data();
    void merge();
};

void TableWriterTest::merge_data()
{
    QTest::addColumn<QStringList>("before"); // empty: no file yet
    QTest::addColumn<QStringList>("results");
    QTest::addColumn<QStringList>("wheelNames");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<QStringList>("lineFilters"); // each result's filter as its line spells it

    const QStringList wheel = {"OIII 3nm", "Ha 7nm", "Blue", "H_Alpha", "SII", "OIII", "LPR", "Luminance"};
    QTest::newRow("narrowband beside broadband names, a table the Italian panel saved")
        << QStringList{"CCD 1x1 OIII 3nm 5 150", "CCD 1x1 OIII 4 120", "CCD 1x1 Ha 7nm 3 200", "CCD 1x1 H-alfa 9 230",
                       "CCD 1x1 Inq. luminoso 2 90", "CCD 1x1 Luminanza 0.5 60"}
        << QStringList{"OIII 3 110", "H_Alpha 20 240", "LPR 1 80", "Luminance 0.4 50"} << wheel
        << QStringList{"CCD 1x1 OIII 3nm 5 150", "CCD 1x1 OIII 3 110", "CCD 1x1 Ha 7nm 3 200", "CCD 1x1 H-alfa 20 240",
                       "CCD 1x1 Inq. luminoso 1 80", "CCD 1x1 Luminanza 0.4 50"}
        << QStringList{"OIII", "H-alfa", "Inq. luminoso", "Luminanza"};
    QTest::newRow("no file yet: the panel's names, a narrowband name as the wheel spells it")
        << QStringList{} << QStringList{"Ha 30 250", "OIII 3nm 5 150", "OIII 4 120", "Ha 7nm 3 200"} << wheel
        << QStringList{"CCD 1x1 H-alpha 30 250", "CCD 1x1 OIII 3nm 5 150", "CCD 1x1 OIII 4 120", "CCD 1x1 Ha 7nm 3 200"}
        << QStringList{"H-alpha", "OIII 3nm", "OIII", "Ha 7nm"};
    QTest::newRow("comments, blank lines, notes and other configurations kept")
        << QStringList{"# flats of March", "", "CCD 1x1 Red 2 100 old panel", "DSLR 800 Red 1 11",
                       "CCD 1x1 Reddish 3 30"}
        << QStringList{"Red 2 143"} << QStringList{"Red"}
        << QStringList{"# flats of March", "", "CCD 1x1 Red 2 143", "DSLR 800 Red 1 11", "CCD 1x1 Reddish 3 30"}
        << QStringList{"Red"};
}

void TableWriterTest::merge()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, results);
    QFETCH(QStringList, wheelNames);
    QFETCH(QStringList, after);
    QFETCH(QStringList, lineFilters);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("flats.vfc"));
    if (!before.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write((before.join('\n') + '\n').toUtf8());
    }
    std::vector<FlatRecord> records;
    for (const QString &text : results)
        records.push_back(result(text));
    QString error;
    QVERIFY2(tablewriter::put(path, records, wheelNames, error), qPrintable(error));
    QCOMPARE(readBack(path), after);
    QStringList written;
    for (const FlatRecord &record : records)
        written.append(record.filter);
    QCOMPARE(written, lineFilters);
}

QTEST_APPLESS_MAIN(TableWriterTest)
#include "tst_tablewriter.moc"
