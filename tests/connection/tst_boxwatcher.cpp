// A lost box and its return, with the device library's test double: what the window shows and which calls it makes.
#include "boxwatcher.h"
#include "connectiontest.h"
#include "messages.h"
#include "testmain.h"

#include <QCheckBox>
#include <QFile>
#include <QSlider>
#include <QTemporaryDir>

using namespace conntest;

class BoxWatcherTest : public QObject
{
    Q_OBJECT

private slots:
    void lostAndBack_data();
    void lostAndBack();
};

void BoxWatcherTest::lostAndBack_data()
{
    QTest::addColumn<bool>("lampOn");
    QTest::addColumn<QString>("returning"); // the node that appears: the lost port's, or another box port's
    QTest::addColumn<QStringList>("callsWhenBack");
    QTest::addColumn<bool>("linked"); // the port is a link kept in its folder; its target comes and goes elsewhere
    QTest::addColumn<bool>("atOnce"); // the node is back before the window hears of the loss
    // The box comes back from a reset: the level first, then the lamp as it was.
    const QString lampOn = ";setBrightness(128);turnOn";
    const QStringList sameBack = ("connect(ttyBOX, false)" + lampOn).split(';');
    QTest::newRow("lamp on, same port") << true << "ttyBOX" << sameBack << false << false;
    QTest::newRow("lamp off, same port") << false << "ttyBOX"
                                         << QStringList{"connect(ttyBOX, false)", "setBrightness(0)", "turnOff"}
                                         << false << false;
    QTest::newRow("lamp on, other box port") << true << "ttyOTHER"
                                             << ("connect(ttyOTHER, false)" + lampOn).split(';') << false << false;
    QTest::newRow("lamp on, same port back at once") << true << "ttyBOX" << sameBack << false << true;
    QTest::newRow("lamp on, link kept while its target returns") << true << "ttyBOX" << sameBack << true << false;
}

// Connected at start with the lamp on at 128 (or off), then the box goes, its device node with it.
void BoxWatcherTest::lostAndBack()
{
    QFETCH(bool, lampOn);
    QFETCH(QString, returning);
    QFETCH(QStringList, callsWhenBack);
    QFETCH(bool, linked);
    QFETCH(bool, atOnce);
    if (linked && QSysInfo::productType() == QLatin1String("windows"))
        QSKIP("a symbolic link of Linux's");
    fakeflat::reset();
    QTemporaryDir nodes;
    QTemporaryDir targets;
    if (linked)
        QVERIFY(QFile::link(targets.filePath("ttyBOX"), nodes.filePath("ttyBOX")));
    fakeports::set({port(nodes.filePath("ttyBOX"), boxVendor)});
    QFile unrelatedFile(nodes.filePath("unrelated"));
    QVERIFY(unrelatedFile.open(QIODevice::WriteOnly));
    unrelatedFile.close();
    auto window = makeWindow(QStringLiteral("true"));
    watchForLostBox(*window);
    if (lampOn) {
        child<QCheckBox>(*window, "MT_lampSwitch")->click();
        child<QSlider>(*window, "MT_lampLevelSlider")->setValue(128);
    }
    const int level = lampOn ? 128 : 0;
    fakeflat::clearCalls();
    MessageCapture capture;
    fakeflat::loseBox();
    QFile node((linked ? targets : nodes).filePath(returning));
    if (atOnce)
        QVERIFY(node.open(QIODevice::WriteOnly));
    QTRY_VERIFY(capture.debugLines().contains("flat box lost \"" + nodes.filePath("ttyBOX") + "\""));
    if (!atOnce) {
        QCOMPARE(capture.debugLines(), QStringList{"flat box lost \"" + nodes.filePath("ttyBOX") + "\""});
        QCOMPARE(deviceCalls(), QStringList());
        QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX DISCONNECTED "));
        QCOMPARE(enabledStates(*window, connectionControls()), connectionState(false));
        QCOMPARE(enabledStates(*window, lampControls()), uniformStates(lampControls(), false));
        QVERIFY(!child<QCheckBox>(*window, "MT_lampSwitch")->isChecked());
        QCOMPARE(brightnessValues(*window), uniformBrightness(level));
        // An unrelated file in the port's folder is no reason to list the ports.
        const int listingsBefore = fakeports::listings();
        QFile unrelated(nodes.filePath("unrelated"));
        for (int change = 0; change < 50; ++change) {
            QVERIFY(unrelated.open(QIODevice::Append));
            unrelated.write("x");
            unrelated.close();
            unrelated.setPermissions(change % 2 ? QFile::ReadOwner | QFile::WriteOwner : QFile::ReadOwner);
            QCoreApplication::processEvents();
        }
        QTest::qWait(200); // no listing may follow: a bounded wait, as no later event would show it
        QCOMPARE(fakeports::listings(), listingsBefore);
        QCOMPARE(deviceCalls(), QStringList());

        fakeports::set({port(nodes.filePath("ttyBOX"), boxVendor), port(nodes.filePath("ttyOTHER"), boxVendor)});
        QVERIFY(node.open(QIODevice::WriteOnly));
    }
    QTRY_VERIFY(capture.debugLines().contains("flat box back"));
    QStringList calls = deviceCalls().replaceInStrings(nodes.path() + '/', QString());
    calls.erase(std::unique(calls.begin(), calls.end()), calls.end()); // the brightness chain repeats each level
    QCOMPARE(calls, callsWhenBack);
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX CONNECTED "));
    QCOMPARE(enabledStates(*window, connectionControls()), connectionState(true));
    QCOMPARE(enabledStates(*window, lampControls()), uniformStates(lampControls(), lampOn));
    QCOMPARE(child<QCheckBox>(*window, "MT_lampSwitch")->isChecked(), lampOn);
    QCOMPARE(brightnessValues(*window), uniformBrightness(level));
}

VELMORA_TEST_MAIN(BoxWatcherTest)
#include "tst_boxwatcher.moc"
