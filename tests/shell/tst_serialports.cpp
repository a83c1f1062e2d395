// The real serial port listing: the system's ports, then the extra ports named in the environment.
#include "serialports.h"

#include <QSerialPortInfo>
#include <QtTest>

class SerialPortsTest : public QObject
{
    Q_OBJECT

private slots:
    void extraPortsFollowTheSystemPorts_data();
    void extraPortsFollowTheSystemPorts();
    void listingStartedAheadIsTakenOnceThenAskedAgain();
};

void SerialPortsTest::extraPortsFollowTheSystemPorts_data()
{
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QStringList>("extraPorts");
    QTest::newRow("unset") << QByteArray() << QStringList();
    QTest::newRow("one") << QByteArray("/dev/pts/7") << QStringList{"/dev/pts/7"};
    QTest::newRow("two") << QByteArray("/dev/pts/7:/tmp/box") << QStringList{"/dev/pts/7", "/tmp/box"};
    QTest::newRow("empty entries skipped") << QByteArray(":/dev/pts/7::") << QStringList{"/dev/pts/7"};
    QTest::newRow("a by-path name keeps its colons")
        << QByteArray("/dev/pts/7:/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0:/tmp/box")
        << QStringList{"/dev/pts/7", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0", "/tmp/box"};
}

void SerialPortsTest::extraPortsFollowTheSystemPorts()
{
    QFETCH(QByteArray, variable);
    QFETCH(QStringList, extraPorts);
    if (variable.isNull())
        qunsetenv("VELMORA_FLAT_EXTRA_PORTS");
    else
        qputenv("VELMORA_FLAT_EXTRA_PORTS", variable);

    const QList<SerialPortEntry> ports = availableSerialPorts();
    const int systemPorts = QSerialPortInfo::availablePorts().size();
    QCOMPARE(ports.size(), systemPorts + extraPorts.size());
    for (int i = 0; i < extraPorts.size(); ++i) {
        QCOMPARE(ports.at(systemPorts + i).name, extraPorts.at(i));
        QCOMPARE(ports.at(systemPorts + i).vendorId, quint16(0x2341));
    }
    qunsetenv("VELMORA_FLAT_EXTRA_PORTS");
}

void SerialPortsTest::listingStartedAheadIsTakenOnceThenAskedAgain()
{
    qputenv("VELMORA_FLAT_EXTRA_PORTS", "/dev/pts/9");
    startSerialPortListing();
    const QList<SerialPortEntry> first = availableSerialPorts();
    const QList<SerialPortEntry> second = availableSerialPorts();
    qunsetenv("VELMORA_FLAT_EXTRA_PORTS");
    QCOMPARE(first.size(), second.size());
    for (int i = 0; i < first.size(); ++i) {
        QCOMPARE(first.at(i).name, second.at(i).name);
        QCOMPARE(first.at(i).vendorId, second.at(i).vendorId);
    }
    QCOMPARE(first.last().name, QStringLiteral("/dev/pts/9"));
}

QTEST_GUILESS_MAIN(SerialPortsTest)
#include "tst_serialports.moc"
