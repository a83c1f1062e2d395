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
    QTest::addColumn<QString>("system"); // the rows of one system only; empty for all
    QTest::addColumn<QByteArray>("variable");
    QTest::addColumn<QStringList>("extraPorts");
    const QString linux = QStringLiteral("linux");
    const QString windows = QStringLiteral("windows");
    QTest::newRow("unset") << QString() << QByteArray() << QStringList();
    QTest::newRow("one") << linux << QByteArray("/dev/pts/7") << QStringList{"/dev/pts/7"};
    QTest::newRow("two") << linux << QByteArray("/dev/pts/7:/tmp/box") << QStringList{"/dev/pts/7", "/tmp/box"};
    QTest::newRow("empty entries skipped") << linux << QByteArray(":/dev/pts/7::") << QStringList{"/dev/pts/7"};
    QTest::newRow("a by-path name keeps its colons")
        << linux << QByteArray("/dev/pts/7:/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0:/tmp/box")
        << QStringList{"/dev/pts/7", "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0", "/tmp/box"};
    QTest::newRow("one COM port") << windows << QByteArray("COM5") << QStringList{"COM5"};
    QTest::newRow("COM ports by semicolons")
        << windows << QByteArray("COM5;COM12") << QStringList{"COM5", "COM12"};
    QTest::newRow("COM ports: blanks and empty entries")
        << windows << QByteArray(";COM5 ;; COM7;") << QStringList{"COM5", "COM7"};
}

void SerialPortsTest::extraPortsFollowTheSystemPorts()
{
    QFETCH(QString, system);
    QFETCH(QByteArray, variable);
    QFETCH(QStringList, extraPorts);
    const bool windows = QSysInfo::productType() == QLatin1String("windows");
    if (!system.isEmpty() && (system == QLatin1String("windows")) != windows)
        QSKIP("a row for another system");
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
    const QString extra = QSysInfo::productType() == QLatin1String("windows") ? QStringLiteral("COM9")
                                                                               : QStringLiteral("/dev/pts/9");
    qputenv("VELMORA_FLAT_EXTRA_PORTS", extra.toUtf8());
    startSerialPortListing();
    const QList<SerialPortEntry> first = availableSerialPorts();
    const QList<SerialPortEntry> second = availableSerialPorts();
    qunsetenv("VELMORA_FLAT_EXTRA_PORTS");
    QCOMPARE(first.size(), second.size());
    for (int i = 0; i < first.size(); ++i) {
        QCOMPARE(first.at(i).name, second.at(i).name);
        QCOMPARE(first.at(i).vendorId, second.at(i).vendorId);
    }
    QCOMPARE(first.last().name, extra);
}

QTEST_GUILESS_MAIN(SerialPortsTest)
#include "tst_serialports.moc"
