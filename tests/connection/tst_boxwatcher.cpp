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
    const QString lampOn = ";isFlatConnected;turnOn;setBrightness(0);setBrightness(128)";
    QTest::newRow("lamp on, same port") << true << "ttyBOX" << ("connect(ttyBOX, false)" + lampOn).split(';');
    QTest::newRow("lamp off, same port") << false << "ttyBOX" << QStringList{"connect(ttyBOX, false)"};
    QTest::newRow("lamp on, other box port") << true << "ttyOTHER"
                                             << ("connect(ttyOTHER, false)" + lampOn).split(';');
}

// Connected at start with the lamp on at 128 (or off), then the box goes, its device node with it.
void BoxWatcherTest::lostAndBack()
{
    QFETCH(bool, lampOn);
    QFETCH(QString, returning);
    QFETCH(QStringList, callsWhenBack);
    fakeflat::reset();
    QTemporaryDir nodes;
    fakeports::set({port(nodes.filePath("ttyBOX"), boxVendor)});
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
    QTRY_COMPARE(capture.debugLines(), QStringList{"flat box lost \"" + nodes.filePath("ttyBOX") + "\""});
    QCOMPARE(deviceCalls(), QStringList());
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX DISCONNECTED "));
    QCOMPARE(enabledStates(*window, connectionControls()), connectionState(false));
    QCOMPARE(enabledStates(*window, lampControls()), uniformStates(lampControls(), false));
    QVERIFY(!child<QCheckBox>(*window, "MT_lampSwitch")->isChecked());
    QCOMPARE(brightnessValues(*window), uniformBrightness(level));

    fakeports::set({port(nodes.filePath("ttyBOX"), boxVendor), port(nodes.filePath("ttyOTHER"), boxVendor)});
    QFile node(nodes.filePath(returning));
    QVERIFY(node.open(QIODevice::WriteOnly));
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
