// Reading and writing configuration files on their own: line ends, blank lines, encodings and the input checks.
#include "configfile.h"

#include <QBuffer>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QtTest>

using configfile::ReadStatus;

Q_DECLARE_METATYPE(configfile::ReadStatus)

namespace {

QStringList linesOf(const std::vector<QString> &lines)
{
    return QStringList(lines.cbegin(), lines.cend());
}

std::vector<QString> tableOf(const QStringList &lines)
{
    return std::vector<QString>(lines.cbegin(), lines.cend());
}

QByteArray encoded(const char *codecName, const QString &text)
{
    return QTextCodec::codecForName(codecName)->fromUnicode(text); // Qt's codecs put the byte-order mark first
}

// The locale's encoding for one test row (an empty name leaves it alone), put back when the row ends.
auto localeEncoding(const QByteArray &name)
{
    QTextCodec::setCodecForLocale(name.isEmpty() ? nullptr : QTextCodec::codecForName(name));
    return qScopeGuard([] { QTextCodec::setCodecForLocale(nullptr); });
}

// A device that delivers some bytes, then fails.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(bool sequential) : m_sequential(sequential) { open(QIODevice::ReadWrite); }
    bool isSequential() const override { return m_sequential; }
    qint64 size() const override { return m_sequential ? 0 : 100; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_delivered)
            return -1;
        m_delivered = true;
        const qint64 count = std::min<qint64>(maxSize, 10);
        memset(data, 'a', size_t(count));
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    bool m_sequential;
    bool m_delivered = false;
};

// A sequential device (its size unknown in advance), like a pipe, that delivers `total` bytes of 63-letter lines.
class PipeOfLines : public QIODevice
{
public:
    explicit PipeOfLines(qint64 total) : m_total(total) { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
    bool isSequential() const override { return true; }
    qint64 delivered() const { return m_delivered; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = std::min(maxSize, m_total - m_delivered);
        for (qint64 i = 0; i < count; ++i)
            data[i] = (m_delivered + i) % 64 == 63 ? '\n' : 'x';
        m_delivered += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    qint64 m_total;
    qint64 m_delivered = 0;
};

} // namespace

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
    void refused_data();
    void refused();
    void sizeLimitOnDevices_data();
    void sizeLimitOnDevices();
    void readErrorIsReported_data();
    void readErrorIsReported();
    void write_data();
    void write();
    void writeThenReadGivesSameLines_data();
    void writeThenReadGivesSameLines();
    void writeFailureIsReported();
};

void TestConfigFile::read_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("readAsWindows1252");
    QTest::addColumn<int>("droppedNulBytes");

    QTest::newRow("empty file") << QByteArray() << QStringList{} << false << 0;
    QTest::newRow("LF line ends") << QByteArray("DSLR 100 Red 1 2\nCCD 1x1 Blue 3 4\n")
                                  << QStringList{"DSLR 100 Red 1 2", "CCD 1x1 Blue 3 4"} << false << 0;
    QTest::newRow("CR LF line ends") << QByteArray("DSLR 100 Red 1 2\r\nCCD 1x1 Blue 3 4\r\n")
                                     << QStringList{"DSLR 100 Red 1 2", "CCD 1x1 Blue 3 4"} << false << 0;
    QTest::newRow("last line without line end") << QByteArray("a 1\nb 2") << QStringList{"a 1", "b 2"} << false << 0;
    QTest::newRow("blank line in the middle") << QByteArray("a\n\nb\n") << QStringList{"a", "", "b"} << false << 0;
    QTest::newRow("blank CR LF line in the middle") << QByteArray("a\r\n\r\nb\r\n") << QStringList{"a", "", "b"}
                                                    << false << 0;
    QTest::newRow("only a line end") << QByteArray("\n") << QStringList{""} << false << 0;
    QTest::newRow("two line ends at the end") << QByteArray("a\n\n") << QStringList{"a", ""} << false << 0;
    QTest::newRow("blanks and tabs are kept") << QByteArray("  DSLR 100 Red  1\t \n") << QStringList{"  DSLR 100 Red  1\t "}
                                              << false << 0;
    QTest::newRow("a CR inside a line is kept") << QByteArray("a\rb\n") << QStringList{"a\rb"} << false << 0;
    QTest::newRow("only a byte-order mark: empty") << QByteArray("\xEF\xBB\xBF") << QStringList{} << false << 0;
    QTest::newRow("UTF-8 byte-order mark") << QByteArray("\xEF\xBB\xBF" "DSLR 100 Rosso 1 2\n")
                                           << QStringList{"DSLR 100 Rosso 1 2"} << false << 0;
    const QString italian = QString::fromUtf8("DSLR 100 Luminanza \u00e8 1 2\nCCD 1x1 Verde 3 4\n");
    const QStringList italianLines = {QString::fromUtf8("DSLR 100 Luminanza \u00e8 1 2"), "CCD 1x1 Verde 3 4"};
    QTest::newRow("UTF-16 little-endian with its mark") << encoded("UTF-16LE", italian)
                                                        << italianLines << false << 0;
    QTest::newRow("UTF-16 big-endian with its mark") << encoded("UTF-16BE", italian)
                                                     << italianLines << false << 0;
    QTest::newRow("UTF-32 little-endian with its mark") << encoded("UTF-32LE", italian)
                                                        << italianLines << false << 0;
    QTest::newRow("UTF-32 big-endian with its mark") << encoded("UTF-32BE", italian)
                                                     << italianLines << false << 0;

    // The reader decodes 64 KiB at a time; lines, line ends and characters go on across those pieces.
    const int piece = 64 * 1024;
    const QString longLine(piece - 1, QLatin1Char('x'));
    QTest::newRow("CR LF split between two pieces") << longLine.toLatin1() + "\r\nb\n" << QStringList{longLine, "b"}
                                                    << false << 0;
    QTest::newRow("character split between two pieces") << longLine.toLatin1() + "\xC3\xA8\n"
                                                        << QStringList{longLine + QChar(0xE8)} << false << 0;
    QTest::newRow("line over three pieces") << QByteArray(3 * piece, 'y') + "\nz"
                                            << QStringList{QString(3 * piece, QLatin1Char('y')), "z"} << false << 0;
    QTest::newRow("CR at the very end") << QByteArray("a\nb\r") << QStringList{"a", "b"} << false << 0;

    QByteArray atTheLimit(int(configfile::maximumSize), 'x');
    atTheLimit[atTheLimit.size() - 1] = '\n';
    QTest::newRow("exactly 8 MiB") << atTheLimit << QStringList{QString(atTheLimit.size() - 1, QLatin1Char('x'))}
                                   << false << 0;

    // Written on Windows: not valid UTF-8, no byte-order mark.
    QTest::newRow("Windows-1252: micro sign, e acute, euro sign")
        << QByteArray("DSLR 100 Rosso \xB5 \xE9 \x80 1 2\r\nCCD 1x1 Verde 3 4\r\n")
        << QStringList{QString::fromUtf8("DSLR 100 Rosso \u00b5 \u00e9 \u20ac 1 2"), "CCD 1x1 Verde 3 4"} << true << 0;
    QTest::newRow("UTF-8 cut off in its last character: Windows-1252") << QByteArray("a\nb\xC3")
        << QStringList{"a", QString::fromUtf8("b\u00c3")} << true << 0;
    // What a power failure during a save leaves: the file's length written, its last blocks not.
    QTest::newRow("NUL padding after the last line")
        << QByteArray("DSLR 100 Red 1 2\nCCD 1x1 Blue 3 4\n") + QByteArray(4096, '\0')
        << QStringList{"DSLR 100 Red 1 2", "CCD 1x1 Blue 3 4"} << false << 4096;
    QTest::newRow("NUL padding in the middle of a line")
        << QByteArray("DSLR 100 Red 1 2\nCCD 1x1") + QByteArray(3, '\0')
        << QStringList{"DSLR 100 Red 1 2", "CCD 1x1"} << false << 3;
}

void TestConfigFile::read()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, lines);
    QFETCH(bool, readAsWindows1252);
    QFETCH(int, droppedNulBytes);

    const auto locale = localeEncoding("UTF-8"); // the rows are those of a system whose locale is UTF-8
    const configfile::ReadResult result = configfile::readConfiguration(contents);
    QCOMPARE(result.status, ReadStatus::Ok);
    QCOMPARE(linesOf(result.lines), lines);
    QCOMPARE(result.readAsWindows1252, readAsWindows1252);
    QCOMPARE(result.droppedNulBytes, droppedNulBytes);

    QBuffer buffer(&contents);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const configfile::ReadResult fromDevice = configfile::readConfiguration(buffer);
    QCOMPARE(fromDevice.status, ReadStatus::Ok);
    QCOMPARE(linesOf(fromDevice.lines), lines);
}

void TestConfigFile::refused_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<ReadStatus>("status");

    QTest::newRow("one byte over 8 MiB") << QByteArray(int(configfile::maximumSize) + 1, '\n') << ReadStatus::TooLarge;
    QTest::newRow("NUL byte") << QByteArray("DSLR 100 Red 1 2\n\0\n", 20) << ReadStatus::NotText;
    QTest::newRow("NUL byte first") << QByteArray("\0DSLR", 5) << ReadStatus::NotText;
    QTest::newRow("NUL byte after a UTF-8 mark") << QByteArray("\xEF\xBB\xBF" "a\0b", 6) << ReadStatus::NotText;
    QTest::newRow("NUL byte after half a UTF-16 mark") << QByteArray("\xFF" "a\0b", 4) << ReadStatus::NotText;
    QTest::newRow("NUL byte before NUL padding") << QByteArray("a\0b\n\0\0", 7) << ReadStatus::NotText;
    QTest::newRow("nothing but NUL bytes") << QByteArray(512, '\0') << ReadStatus::NotText;
    QTest::newRow("picture") << QByteArray("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16) << ReadStatus::NotText;
}

void TestConfigFile::refused()
{
    QFETCH(QByteArray, contents);
    QFETCH(ReadStatus, status);

    QCOMPARE(configfile::readConfiguration(contents).status, status);
    QBuffer buffer(&contents);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const configfile::ReadResult fromDevice = configfile::readConfiguration(buffer);
    QCOMPARE(fromDevice.status, status);
    QVERIFY(fromDevice.lines.empty());
}

void TestConfigFile::sizeLimitOnDevices_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<ReadStatus>("status");

    QTest::newRow("at the limit") << configfile::maximumSize << ReadStatus::Ok;
    QTest::newRow("over the limit") << configfile::maximumSize + 1 << ReadStatus::TooLarge;
    QTest::newRow("far over the limit") << configfile::maximumSize * 4 << ReadStatus::TooLarge;
}

// A file's size is known before reading; a pipe's is not, and reading it must stop past the limit.
void TestConfigFile::sizeLimitOnDevices()
{
    QFETCH(qint64, size);
    QFETCH(ReadStatus, status);

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("big.vfc")));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.resize(size)); // a sparse file of NUL bytes: the size check must come first
    QVERIFY(file.seek(0));
    const ReadStatus fileStatus = configfile::readConfiguration(file).status;
    QCOMPARE(fileStatus, status == ReadStatus::Ok ? ReadStatus::NotText : status);

    PipeOfLines pipe(size);
    const configfile::ReadResult fromPipe = configfile::readConfiguration(pipe);
    QCOMPARE(fromPipe.status, status);
    QVERIFY(pipe.delivered() <= configfile::maximumSize + 1);
    if (status == ReadStatus::Ok)
        QCOMPARE(qint64(fromPipe.lines.size()), size / 64);
}

void TestConfigFile::readErrorIsReported_data()
{
    QTest::addColumn<bool>("sequential");
    QTest::newRow("file") << false;
    QTest::newRow("pipe") << true;
}

void TestConfigFile::readErrorIsReported()
{
    QFETCH(bool, sequential);
    FailingDevice device(sequential);
    const configfile::ReadResult result = configfile::readConfiguration(device);
    QCOMPARE(result.status, ReadStatus::ReadError);
    QVERIFY(result.lines.empty());
}

void TestConfigFile::write_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QByteArray>("locale");

    QTest::newRow("empty table: empty file") << QStringList{} << QByteArray() << QByteArray();
    QTest::newRow("every line ends with LF, the last one too")
        << QStringList{"DSLR 100 Red 1 2", "CCD 1x1 Blue 3 4"} << QByteArray("DSLR 100 Red 1 2\nCCD 1x1 Blue 3 4\n")
        << QByteArray();
    QTest::newRow("blank line") << QStringList{"a", "", "b"} << QByteArray("a\n\nb\n") << QByteArray();
    QTest::newRow("blanks are kept") << QStringList{"DSLR 100 Red  140 "} << QByteArray("DSLR 100 Red  140 \n")
                                     << QByteArray();
    QTest::newRow("UTF-8 locale: no byte-order mark") << QStringList{QString::fromUtf8("H-\u03b1 \u20ac")}
                                                      << QByteArray("H-\xCE\xB1 \xE2\x82\xAC\n") << QByteArray("UTF-8");
    QTest::newRow("Latin-1 locale holds e acute: Latin-1") << QStringList{QString::fromUtf8("Rosso \u00e9 1 2")}
                                                           << QByteArray("Rosso \xE9 1 2\n") << QByteArray("ISO-8859-1");
    QTest::newRow("Latin-1 locale cannot hold alpha: UTF-8 with its mark")
        << QStringList{"a", QString::fromUtf8("H-\u03b1 \u00e9 1 2")}
        << QByteArray("\xEF\xBB\xBF" "a\nH-\xCE\xB1 \xC3\xA9 1 2\n") << QByteArray("ISO-8859-1");
}

void TestConfigFile::write()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, contents);
    QFETCH(QByteArray, locale);

    const auto encoding = localeEncoding(locale);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(configfile::writeConfiguration(buffer, tableOf(lines)));
    QCOMPARE(buffer.data(), contents);
}

void TestConfigFile::writeThenReadGivesSameLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("locale");

    QTest::newRow("empty table") << QStringList{} << QByteArray();
    QTest::newRow("one empty line") << QStringList{""} << QByteArray();
    QTest::newRow("order, duplicates and blank lines")
        << QStringList{"DSLR 100 Red 2 20", "", "CCD 1x1 Blue 3 30", "DSLR 100 Red 1 10", "", ""} << QByteArray();
    QTest::newRow("exposure with blanks and empty exposure")
        << QStringList{"DSLR 100 Red 2.5 s 140", "DSLR 100 Green  3", "DSLR 100 Blue 2.5  s 9"} << QByteArray();
    const QStringList foreign = {QString::fromUtf8("DSLR 100 Rosso \u00b5 \u00e9 1 2"),
                                 QString::fromUtf8("CCD 1x1 H-\u03b1 \u20ac 3 4")};
    QTest::newRow("Latin-1 locale, Latin-1 letters") << QStringList{foreign.first()} << QByteArray("ISO-8859-1");
    QTest::newRow("Latin-1 locale, a letter it cannot hold") << foreign << QByteArray("ISO-8859-1");
}

void TestConfigFile::writeThenReadGivesSameLines()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, locale);

    const auto encoding = localeEncoding(locale);
    QBuffer buffer;
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    QVERIFY(configfile::writeConfiguration(buffer, tableOf(lines)));
    const configfile::ReadResult result = configfile::readConfiguration(buffer.data());
    QCOMPARE(result.status, ReadStatus::Ok);
    QCOMPARE(linesOf(result.lines), lines);

    QBuffer again; // the file that was opened is saved back byte for byte
    QVERIFY(again.open(QIODevice::WriteOnly));
    QVERIFY(configfile::writeConfiguration(again, result.lines));
    QCOMPARE(again.data(), buffer.data());
}

void TestConfigFile::writeFailureIsReported()
{
    FailingDevice device(false);
    QVERIFY(!configfile::writeConfiguration(device, tableOf({"DSLR 100 Red 1 2"})));
}

QTEST_APPLESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
