// The whole program behind the Alpaca server: the real window, device library and port listing against the box
// simulator on a pseudo-terminal, driven through real HTTP and UDP on loopback.
#include "alpacaclient.h"
#include "alpacaservice.h"
#include "alpacasettings.h"
#include "dialogs.h"
#include "flatboxsim.h"
#include "messages.h"
#include "testmain.h"
#include "windowtest.h"

#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTcpServer>
#include <QUdpSocket>

namespace {

alpaca::Settings freePorts()
{
    alpaca::Settings settings;
    settings.port = 0;
    settings.discoveryPort = 0;
    return settings;
}

std::unique_ptr<VelmoraFlat> windowFor(const FlatBoxSim &box, const QString &autoSearch)
{
    qputenv("VELMORA_FLAT_EXTRA_PORTS", box.portName());
    DialogResponder::instance().clear();
    return makeWindow(autoSearch);
}

// The commands the box took in, without the library's own status queries.
QString commands(const FlatBoxSim &box)
{
    return box.accepted().filter(QRegularExpression(QStringLiteral("^>[^S]"))).join(QLatin1Char(' '));
}

} // namespace

class AlpacaProgramTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qunsetenv("VELMORA_FLAT_EXTRA_PORTS"); }
    void clientConnectsAndSetsTheLevel();
    void portInUseLeavesThePanelWithoutServer();
    void discoveryAnswersLocalProbes_data();
    void discoveryAnswersLocalProbes();
    void deviceIdIsStoredOnce();
};

void AlpacaProgramTest::clientConnectsAndSetsTheLevel()
{
    FlatBoxSim box;
    QVERIFY2(box.start(), qPrintable(box.errorText()));
    auto window = windowFor(box, QString());
    auto server = AlpacaService::start(window->boxController(), freePorts());
    QVERIFY(server);
    const int port = server->httpPort();
    const QString id = QStringLiteral("ClientID=21");

    QCOMPARE(httpCallSpinning(port, "PUT " + device("connected"), "Connected=true&" + id).errorNumber(), 0);
    QCOMPARE(VelmoraFlatTestAccess::statusText(*window), QStringLiteral(" FLAT BOX CONNECTED "));
    QCOMPARE(httpCall(port, "PUT " + device("calibratoron"), "Brightness=128&" + id).errorNumber(), 0);
    QTRY_COMPARE(httpCall(port, "GET " + device("calibratorstate?") + id).value(), QJsonValue(3));
    QCOMPARE(commands(box), QStringLiteral(">P000 >J000 >V000 >J000 >B128 >L000"));
    QCOMPARE(child<QSlider>(*window, "MT_lampLevelSlider")->value(), 128);
    QCOMPARE(child<QSpinBox>(*window, "ST_lampLevelSpinBox")->value(), 128);
    QCOMPARE(httpCall(port, "GET " + device("brightness?") + id).value(), QJsonValue(128));

    // The PUT of another site's page and a rebound name are refused before anything reaches the box.
    const HttpHeaders foreign{{"Origin", "http://evil.example"}};
    QCOMPARE(httpCall(port, "PUT " + device("calibratoroff"), id, foreign).status, 403);
    QCOMPARE(httpCall(port, "GET " + device("name"), QString(), {{"Host", "evil.example"}}).status, 403);
    QCOMPARE(httpCall(port, "PUT " + device("calibratoroff"), id).errorNumber(), 0);
    QTRY_COMPARE(httpCall(port, "GET " + device("calibratorstate?") + id).value(), QJsonValue(1));
    QCOMPARE(commands(box), QStringLiteral(">P000 >J000 >V000 >J000 >B128 >L000 >B000 >D000"));
    QVERIFY(DialogResponder::instance().shownMessageBoxes().isEmpty());
}

void AlpacaProgramTest::portInUseLeavesThePanelWithoutServer()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    auto window = makeWindow();
    alpaca::Settings settings = freePorts();
    settings.port = taken.serverPort();
    MessageCapture capture;
    QVERIFY(!AlpacaService::start(window->boxController(), settings));
    QCOMPARE(capture.debugLines(),
             QStringList{QStringLiteral("Alpaca server not started, port in use:  %1").arg(settings.port)});
    settings.enabled = false;
    QVERIFY(!AlpacaService::start(window->boxController(), settings));
}

void AlpacaProgramTest::discoveryAnswersLocalProbes_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("answers"); // at most; at least one unless 0
    const QByteArray probe("alpacadiscovery1");
    QTest::newRow("the probe") << probe << 1 << 1;
    QTest::newRow("a probe padded after its name") << probe + QByteArray(20, ' ') << 1 << 1;
    QTest::newRow("a probe of 64 bytes") << probe + QByteArray(48, '\n') << 1 << 1;
    QTest::newRow("a probe of 65 bytes") << probe + QByteArray(49, '\n') << 1 << 0;
    QTest::newRow("another version") << QByteArray("alpacadiscovery0") << 1 << 0;
    QTest::newRow("part of the name") << QByteArray("alpacadiscovery") << 1 << 0;
    QTest::newRow("a burst from one sender") << probe << 60 << 5;
}

// Probes from this machine get the HTTP port from its loopback address; a noisy sender gets its share only,
// and another sender is answered all the same.
void AlpacaProgramTest::discoveryAnswersLocalProbes()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, sent);
    QFETCH(int, answers);
    auto window = makeWindow();
    auto server = AlpacaService::start(window->boxController(), freePorts());
    QVERIFY(server && server->discoveryPort() > 0);
    const quint16 discovery = quint16(server->discoveryPort());
    QUdpSocket noisy;
    QVERIFY(noisy.bind(QHostAddress(QHostAddress::LocalHost), 0));
    for (int i = 0; i < sent; ++i)
        noisy.writeDatagram(datagram, QHostAddress::LocalHost, discovery);
    // Another program on this machine, from another address of the loopback network, is answered all the same.
    // The server reads its one socket in order, so once this answer is in, every answer to the burst is too.
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
    other.writeDatagram("alpacadiscovery1", QHostAddress::LocalHost, discovery);
    QTRY_VERIFY_WITH_TIMEOUT(other.hasPendingDatagrams(), 10000);
    int replies = 0;
    QHostAddress from;
    QByteArray reply(512, '\0');
    while (noisy.hasPendingDatagrams()) {
        reply.resize(512);
        reply.resize(int(noisy.readDatagram(reply.data(), reply.size(), &from)));
        QCOMPARE(QJsonDocument::fromJson(reply).object(), (QJsonObject{{"AlpacaPort", server->httpPort()}}));
        QVERIFY(from.isLoopback());
        ++replies;
    }
    QVERIFY2(replies <= answers && (replies > 0) == (answers > 0), qPrintable(QString::number(replies)));
}

void AlpacaProgramTest::deviceIdIsStoredOnce()
{
    QSettings store;
    store.remove(QStringLiteral("alpaca"));
    const alpaca::Settings first = alpaca::readSettings(store);
    QVERIFY(!QUuid(first.uniqueId).isNull());
    QCOMPARE(alpaca::readSettings(store).uniqueId, first.uniqueId);
    QCOMPARE(first.port, 11111);
    QCOMPARE(first.discoveryPort, 32227);
    QVERIFY(first.enabled && !first.network);
}

VELMORA_TEST_MAIN(AlpacaProgramTest)
#include "tst_alpacaprogram.moc"
