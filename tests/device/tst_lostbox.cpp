// A box lost and found with the whole program: the real window, library and port listing, and a simulator
// behind a symlink that a new simulator takes over as a replugged box would.
#include "boxwatcher.h"
#include "dialogs.h"
#include "flatboxsim.h"
#include "messages.h"
#include "testmain.h"
#include "windowtest.h"

#include <QCheckBox>
#include <QFile>
#include <QSlider>

namespace {

const QString lostLine = QStringLiteral("flat box lost \"%1\"");
const QString backLine = QStringLiteral("flat box back");

// Connects the window at start to the box behind `link`, watched for loss, with the lamp on at 128.
std::unique_ptr<VelmoraFlat> litWindow(const QString &link)
{
    qputenv("VELMORA_FLAT_EXTRA_PORTS", QFile::encodeName(link));
    DialogResponder::instance().clear();
    auto window = makeWindow(QStringLiteral("true"));
    watchForLostBox(*window);
    child<QCheckBox>(*window, "MT_lampSwitch")->click();
    child<QSlider>(*window, "MT_lampLevelSlider")->setValue(128);
    return window;
}

bool plugIn(const QString &link, const FlatBoxSim &box)
{
    QFile::remove(link);
    return QFile::link(box.port(), link);
}

// A pulled cable takes the port's node with it; the freed pseudo-terminal number may serve another
// test process's box, which a dangling link would reach.
void unplug(const QString &link, const QStringList &fault)
{
    if (fault.contains(QStringLiteral("--unplug-after")))
        QFile::remove(link);
}

} // namespace

class LostBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("VELMORA_FLAT_EXTRA_PORTS"); }
    void lostAndFound_data();
    void lostAndFound();
    void noReturnAfterTheUsersChoice_data();
    void noReturnAfterTheUsersChoice();

private:
    QTemporaryDir links;
};

void LostBoxTest::lostAndFound_data()
{
    // After the seven commands of the connect (with its lamp reading) and the switch's connection query: the lamp-on
    // attempts meet a box that is going, and the user's switch asks for the lamp on its return.
    QTest::addColumn<QStringList>("fault");
    QTest::addColumn<int>("lossBoundMs"); // also from the box's last answer; a time the user sees, so it stays
    QTest::newRow("cable pulled") << QStringList{"--unplug-after", "7"} << 2000;
    QTest::newRow("box silent") << QStringList{"--silent-after", "7"} << 3000;
    QTest::newRow("device node removed") << QStringList() << 2000; // the link goes, the box stays
}

// Times are taken from the box's last answer to the window's change and from the new box's appearance.
void LostBoxTest::lostAndFound()
{
    QFETCH(QStringList, fault);
    QFETCH(int, lossBoundMs);
    const QString link = links.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(' ', '-'));
    FlatBoxSim box;
    QVERIFY2(box.start(fault) && plugIn(link, box), qPrintable(box.errorText()));
    MessageCapture capture;
    auto window = litWindow(link);
    QElapsedTimer clock;
    clock.start();
    if (fault.isEmpty())
        QFile::remove(link);
    QTRY_VERIFY_WITH_TIMEOUT(capture.debugLines().contains(lostLine.arg(link)), lossBoundMs);
    const qint64 lossMs = clock.elapsed();
    const qint64 sinceAnswerMs = box.msSinceLastAnswer();
    QVERIFY2(sinceAnswerMs < lossBoundMs, qPrintable(QString::number(sinceAnswerMs)));
    unplug(link, fault);
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX DISCONNECTED "));

    FlatBoxSim replugged;
    QVERIFY2(replugged.start({"--boot-delay-ms", "2000"}), qPrintable(replugged.errorText()));
    clock.restart();
    QVERIFY(plugIn(link, replugged));
    QTRY_VERIFY_WITH_TIMEOUT(capture.debugLines().contains(backLine), 5000);
    const qint64 backMs = clock.elapsed();
    qInfo("%s: loss shown after %lld ms (%lld ms after the box's last answer), back %lld ms after the port returned",
          QTest::currentDataTag(), lossMs, sinceAnswerMs, backMs);
    // After the connect's handshake (which ends in the firmware version query) the level comes back, then the lamp.
    const QStringList accepted = replugged.accepted();
    QVERIFY(accepted.contains(">V000"));
    QCOMPARE(accepted.mid(accepted.lastIndexOf(">V000") + 1), (QStringList{">B128", ">L000"}));
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX CONNECTED "));
    QCOMPARE(child<QSlider>(*window, "MT_lampLevelSlider")->value(), 128);
}

void LostBoxTest::noReturnAfterTheUsersChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QStringList>("fault");
    QTest::newRow("disconnect, then pulled") << "MT_serialDisconnect" << QStringList();
    QTest::newRow("pulled, then search button") << "ST_connectButton" << QStringList{"--unplug-after", "7"};
    QTest::newRow("silent, then window closed") << "close" << QStringList{"--silent-after", "7"};
}

// The lost box hears nothing more (a silent one still listens), the choice does not wait, the new box is left alone.
void LostBoxTest::noReturnAfterTheUsersChoice()
{
    QFETCH(QString, choice);
    QFETCH(QStringList, fault);
    const QString link = links.filePath(QStringLiteral("choice"));
    FlatBoxSim box;
    QVERIFY2(box.start(fault) && plugIn(link, box), qPrintable(box.errorText()));
    MessageCapture capture;
    auto window = litWindow(link);
    const bool choiceFirst = choice == "MT_serialDisconnect";
    if (choiceFirst) {
        pressButton(*window, qPrintable(choice));
        box.stop();
    }
    const auto lost = [&] { return capture.debugLines().contains(lostLine.arg(link)); };
    QCOMPARE(QTest::qWaitFor(lost, choiceFirst ? 500 : 5000), !choiceFirst);
    unplug(link, choiceFirst ? QStringList{"--unplug-after"} : fault);
    const QStringList heard = box.received();
    QElapsedTimer clock;
    clock.start();
    if (choice == "close")
        window->close();
    else if (!choiceFirst)
        pressButton(*window, qPrintable(choice));
    // The user's click is answered at once, not after the lost box's time-outs: a time the user sees.
    QVERIFY2(clock.elapsed() < 1000, "the choice waited for the lost box");
    QCOMPARE(box.received(), heard);

    FlatBoxSim replugged;
    QVERIFY2(replugged.start() && plugIn(link, replugged), qPrintable(replugged.errorText()));
    QTest::qWait(1000); // no search may follow the choice: a bounded wait, as no later event would show it
    QCOMPARE(replugged.received(), QStringList());
    QVERIFY(!capture.debugLines().contains(backLine));
}

VELMORA_TEST_MAIN(LostBoxTest)
#include "tst_lostbox.moc"
