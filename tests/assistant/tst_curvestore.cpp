// The light box's memory on disk: one JSON file per box in the user's data folder, read back as it was saved, and
// a damaged file read as nothing known.
#include "curvestore.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

BoxMemory learnedMemory()
{
    BoxMemory memory;
    memory.curve.markDark(5);
    memory.curve.addPoint(27, 0.12);
    memory.curve.addPoint(140, 0.61);
    memory.filterRates[CurveStore::rateKey("CCD", "1x1", "Red")] = 0.83;
    memory.filterRates[CurveStore::rateKey("CCD", "2x2", "H-alpha")] = 0.041;
    return memory;
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class CurveStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void defaultFolder();
    void roundTrip_data();
    void roundTrip();
    void damagedFile_data();
    void damagedFile();
    void unwritableFolder();
};

void CurveStoreTest::defaultFolder()
{
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    QCOMPARE(CurveStore::defaultFolder(), home.path() + "/velmora-flat-assistant");
    QString error;
    const QString boxId = QStringLiteral("indi:VELMORA Flat Box");
    QVERIFY(CurveStore().save(boxId, learnedMemory(), error));
    QCOMPARE(QFileInfo(CurveStore().filePath(boxId)).absolutePath(), home.path() + "/velmora-flat-assistant/boxes");
    QVERIFY(QFileInfo(CurveStore().filePath(boxId)).fileName().endsWith(".json"));
    QVERIFY(QFile::exists(CurveStore().filePath(boxId)));
    qunsetenv("XDG_DATA_HOME");
}

void CurveStoreTest::roundTrip_data()
{
    QTest::addColumn<QString>("boxId");

    QTest::newRow("INDI light box") << "indi:VELMORA Flat Box";
    QTest::newRow("Alpaca device") << "alpaca:192.168.1.20:11111/covercalibrator/0";
    QTest::newRow("characters of no file system") << "box/with\\odd:*?\"<>| name ÄÖ";
}

void CurveStoreTest::roundTrip()
{
    QFETCH(QString, boxId);
    QTemporaryDir folder;
    const CurveStore store(folder.path());
    QString error;

    QVERIFY(!store.load(boxId).curve.known());
    QVERIFY2(store.save(boxId, learnedMemory(), error), qPrintable(error));

    const BoxMemory loaded = store.load(boxId);
    QCOMPARE(loaded.curve.darkZoneEnd(), 6);
    QCOMPARE(loaded.curve.points(), learnedMemory().curve.points());
    QCOMPARE(loaded.filterRates, learnedMemory().filterRates);
    QCOMPARE(loaded.curve.brightness(80), learnedMemory().curve.brightness(80));
    QCOMPARE(loaded.ratesFor("CCD", "1x1"), (std::map<std::string, double>{{"Red", 0.83}}));
    QCOMPARE(loaded.ratesFor("CCD", "2x2"), (std::map<std::string, double>{{"H-alpha", 0.041}}));
    QVERIFY(loaded.ratesFor("DSLR", "ISO 800").empty());
    // Another box keeps its own file.
    QVERIFY(!store.load(boxId + "2").curve.known());
    QVERIFY(store.filePath(boxId) != store.filePath(boxId + "2"));
    QVERIFY(store.filePath(boxId).startsWith(folder.path() + "/boxes/"));
}

void CurveStoreTest::damagedFile_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not JSON") << QByteArray("dark 6 points 27:0.12");
    QTest::newRow("cut short") << QByteArray("{\"curve\": {\"darkZoneEnd\": 6, \"points\": [[27, 0.1");
    QTest::newRow("wrong types") << QByteArray("{\"curve\": {\"darkZoneEnd\": \"six\", \"points\": 3}}");
    QTest::newRow("falling curve")
        << QByteArray("{\"curve\": {\"darkZoneEnd\": 0, \"points\": [[27, 0.5], [140, 0.1]]}, \"filterRates\": {}}");
    QTest::newRow("an array") << QByteArray("[1, 2, 3]");
}

// Read as nothing known, never a crash, and replaced by the next save.
void CurveStoreTest::damagedFile()
{
    QFETCH(QByteArray, contents);
    QTemporaryDir folder;
    const CurveStore store(folder.path());
    const QString boxId = QStringLiteral("indi:VELMORA Flat Box");
    writeFile(store.filePath(boxId), contents);

    const BoxMemory loaded = store.load(boxId);
    QVERIFY(!loaded.curve.known());
    QVERIFY(loaded.filterRates.empty());

    QString error;
    QVERIFY2(store.save(boxId, learnedMemory(), error), qPrintable(error));
    QCOMPARE(store.load(boxId).curve.points(), learnedMemory().curve.points());
}

void CurveStoreTest::unwritableFolder()
{
    QTemporaryDir folder;
    writeFile(folder.path() + "/boxes", "a file where the folder should be");
    const CurveStore store(folder.path());
    QString error;
    QVERIFY(!store.save(QStringLiteral("indi:VELMORA Flat Box"), learnedMemory(), error));
    QVERIFY2(error.contains(folder.path() + "/boxes"), qPrintable(error));
}

QTEST_GUILESS_MAIN(CurveStoreTest)
#include "tst_curvestore.moc"
