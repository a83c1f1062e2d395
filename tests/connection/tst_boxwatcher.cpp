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

namespace {

// The device calls with repeats in a row left out: the brightness chain sends each level several times.
QStringList callsInOrder()
{
    QStringList calls = deviceCalls();
    calls.erase(std::unique(calls.begin(), calls.end()), calls.end());
    return calls;
}

void createNode(const QString &path)
{
    QFile node(path);
    QVERIFY(node.open(QIODevice::WriteOnly));
}

} // namespace

class BoxWatcherTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void lostAndBack_data();
    void lostAndBack();
    void usersChoiceEndsTheWait_data();
    void usersChoiceEndsTheWait();

private:
    std::unique_ptr<VelmoraFlat> lostWindow(bool lampOn, MessageCapture &capture);

    QTemporaryDir nodes;
};

void BoxWatcherTest::init()
{
    fakeflat::reset();
    DialogResponder::instance().clear();
    for (const QString &name : QDir(nodes.path()).entryList(QDir::Files))
        QFile::remove(nodes.filePath(name));
    fakeports::set({port(nodes.filePath("ttyBOX"), boxVendor)});
}

// Connected at start with the lamp on at 128 (or off), then the box goes, its device node with it.
std::unique_ptr<VelmoraFlat> BoxWatcherTest::lostWindow(bool lampOn, MessageCapture &capture)
{
    auto window = makeWindow(QStringLiteral("true"));
    watchForLostBox(*window);
    if (lampOn) {
        child<QCheckBox>(*window, "MT_lampSwitch")->click();
        child<QSlider>(*window, "MT_lampLevelSlider")->setValue(128);
    }
    fakeflat::clearCalls();
    capture.clear();
    fakeflat::loseBox();
    static_cast<void>(QTest::qWaitFor([&] { return !capture.debugLines().isEmpty(); }));
    return window;
}

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

void BoxWatcherTest::lostAndBack()
{
    QFETCH(bool, lampOn);
    QFETCH(QString, returning);
    QFETCH(QStringList, callsWhenBack);
    MessageCapture capture;
    auto window = lostWindow(lampOn, capture);
    const int level = lampOn ? 128 : 0;

    QCOMPARE(capture.debugLines(), QStringList{"flat box lost \"" + nodes.filePath("ttyBOX") + "\""});
    QCOMPARE(deviceCalls(), QStringList());
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX DISCONNECTED "));
    QCOMPARE(enabledStates(*window, connectionControls()), connectionState(false));
    QCOMPARE(enabledStates(*window, lampControls()), uniformStates(lampControls(), false));
    QVERIFY(!child<QCheckBox>(*window, "MT_lampSwitch")->isChecked());
    QCOMPARE(brightnessValues(*window), uniformBrightness(level));

    fakeports::set({port(nodes.filePath("ttyBOX"), boxVendor), port(nodes.filePath("ttyOTHER"), boxVendor)});
    createNode(nodes.filePath(returning));
    QTRY_VERIFY(capture.debugLines().contains("flat box back"));
    QCOMPARE(callsInOrder().replaceInStrings(nodes.path() + '/', QString()), callsWhenBack);
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX CONNECTED "));
    QCOMPARE(enabledStates(*window, connectionControls()), connectionState(true));
    QCOMPARE(enabledStates(*window, lampControls()), uniformStates(lampControls(), lampOn));
    QCOMPARE(child<QCheckBox>(*window, "MT_lampSwitch")->isChecked(), lampOn);
    QCOMPARE(brightnessValues(*window), uniformBrightness(level));
}

void BoxWatcherTest::usersChoiceEndsTheWait_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("search button, no port") << "ST_connectButton" << QStringList();
    QTest::newRow("window closed") << "close" << QStringList{"isFlatConnected"};
}

void BoxWatcherTest::usersChoiceEndsTheWait()
{
    QFETCH(QString, choice);
    QFETCH(QStringList, calls);
    MessageCapture capture;
    auto window = lostWindow(true, capture);
    fakeports::set({});
    if (choice == "close")
        window->close();
    else
        pressButton(*window, qPrintable(choice));
    QCOMPARE(deviceCalls(), calls);

    createNode(nodes.filePath("ttyBOX"));
    QTest::qWait(300);
    QCOMPARE(deviceCalls(), calls);
    QVERIFY(!capture.debugLines().contains("flat box back"));
}

VELMORA_TEST_MAIN(BoxWatcherTest)
#include "tst_boxwatcher.moc"
