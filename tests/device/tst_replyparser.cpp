// Commands and reply checking of the box's command set, without a port, and the dialect probe against a
// scripted port.
#include "boxline.h"
#include "dialectprobe.h"
#include "protocol.h"
#include "velmora/flat.h"

#include <QtTest>

using velmora::protocol::ReplyCollector;

Q_DECLARE_METATYPE(ReplyCollector::State)

class ReplyParserTest : public QObject
{
    Q_OBJECT

private slots:
    void buildsCommands_data();
    void buildsCommands();
    void checksReplies_data();
    void checksReplies();
    void collectsReplyLines_data();
    void collectsReplyLines();
    void matchesRepliesToCommands_data();
    void matchesRepliesToCommands();
    void probesTheDialect_data();
    void probesTheDialect();
};

namespace {

// A box that answers each expected write with its scripted reply, and stays silent at anything else. It keeps
// every byte written to it.
class ScriptedPort : public velmora::BoxLine
{
public:
    // "bytes written => reply" per step, in order.
    explicit ScriptedPort(const QStringList &script)
    {
        for (const QString &step : script) {
            const QStringList parts = step.split(QStringLiteral(" => "));
            steps.append({unescape(parts.value(0)), unescape(parts.value(1))});
        }
    }

    static QByteArray unescape(QString text)
    {
        return text.replace(QLatin1String("\\r"), QLatin1String("\r")).replace(QLatin1String("\\n"), QLatin1String("\n")).toLatin1();
    }

    bool isOpen() const override { return true; }

    unsigned write(const std::string &bytes) override
    {
        const QByteArray text = QByteArray::fromStdString(bytes);
        written += text;
        if (next < steps.size() && steps[next].first == text)
            pending += steps[next++].second;
        return velmora::Ok;
    }

    unsigned readMore(const QDeadlineTimer &deadline) override
    {
        if (pending.isEmpty()) {
            QThread::msleep(quint64(qMax<qint64>(0, deadline.remainingTime())));
            return velmora::Timeout;
        }
        appendInput(pending.constData(), std::size_t(pending.size()));
        pending.clear();
        return velmora::Ok;
    }

    QByteArray written;
    int next = 0;

protected:
    void dropPending() override { pending.clear(); }

private:
    QList<QPair<QByteArray, QByteArray>> steps;
    QByteArray pending;
};

} // namespace

void ReplyParserTest::buildsCommands_data()
{
    QTest::addColumn<char>("letter");
    QTest::addColumn<unsigned>("value");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("ping") << 'P' << 0u << QByteArray(">P000\n");
    QTest::newRow("brightness 7") << 'B' << 7u << QByteArray(">B007\n");
    QTest::newRow("brightness 255") << 'B' << 255u << QByteArray(">B255\n");
}

void ReplyParserTest::buildsCommands()
{
    QFETCH(char, letter);
    QFETCH(unsigned, value);
    QFETCH(QByteArray, command);
    QCOMPARE(QByteArray::fromStdString(velmora::protocol::command(letter, value)), command);
}

void ReplyParserTest::checksReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QByteArray>("fields");
    QTest::newRow("ping reply") << QByteArray("*P19OOO\n") << true << QByteArray("P 19 OOO");
    QTest::newRow("brightness echo") << QByteArray("*B99128\n") << true << QByteArray("B 99 128");
    QTest::newRow("ending in CR LF") << QByteArray("*L15000\r\n") << true << QByteArray("L 15 000");
    QTest::newRow("no line end") << QByteArray("*P19OOO") << false << QByteArray();
    QTest::newRow("CR alone") << QByteArray("*P19OOO\r") << false << QByteArray();
    QTest::newRow("LF CR") << QByteArray("*P19OOO\n\r") << false << QByteArray();
    QTest::newRow("wrong start") << QByteArray("#P19OOO\n") << false << QByteArray();
    QTest::newRow("small letter") << QByteArray("*p19OOO\n") << false << QByteArray();
    QTest::newRow("product id not digits") << QByteArray("*P1AOOO\n") << false << QByteArray();
    QTest::newRow("blank in payload") << QByteArray("*S19 01\n") << false << QByteArray();
    QTest::newRow("control byte in payload") << QByteArray("*S19\x01" "01\n") << false << QByteArray();
    QTest::newRow("8-bit byte in payload") << QByteArray("*S19\xff" "01\n") << false << QByteArray();
    QTest::newRow("NUL in payload") << QByteArray("*S19\0" "01\n", 8) << false << QByteArray();
    QTest::newRow("too short") << QByteArray("*P19OO\n") << false << QByteArray();
    QTest::newRow("too long") << QByteArray("*P19OOOO\n") << false << QByteArray();
    QTest::newRow("empty") << QByteArray() << false << QByteArray();
    QTest::newRow("line end only") << QByteArray("\n") << false << QByteArray();
}

void ReplyParserTest::checksReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, valid);
    QFETCH(QByteArray, fields);
    velmora::protocol::Reply parsed;
    QCOMPARE(velmora::protocol::parseReply(reply.constData(), std::size_t(reply.size()), parsed), valid);
    if (valid) {
        const QByteArray found = QByteArray(1, parsed.letter) + ' ' + QByteArray::fromStdString(parsed.productId)
                                 + ' ' + QByteArray::fromStdString(parsed.payload);
        QCOMPARE(found, fields);
    } else {
        QCOMPARE(parsed.letter, '\0');
    }
}

void ReplyParserTest::collectsReplyLines_data()
{
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<ReplyCollector::State>("state");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("taken");
    using State = ReplyCollector::State;
    QTest::newRow("whole") << QList<QByteArray>{"*P19OOO\n"} << State::Complete << QByteArray("*P19OOO\n") << 8;
    QTest::newRow("byte by byte")
        << QList<QByteArray>{"*", "P", "1", "9", "O", "O", "O", "\n"} << State::Complete
        << QByteArray("*P19OOO\n") << 8;
    QTest::newRow("two pieces with CR LF") << QList<QByteArray>{"*L19", "000\r\n"} << State::Complete
                                           << QByteArray("*L19000\r\n") << 9;
    QTest::newRow("bytes after the line are left")
        << QList<QByteArray>{"*L19000\n*D19000\n"} << State::Complete << QByteArray("*L19000\n") << 8;
    QTest::newRow("not yet complete") << QList<QByteArray>{"*L19", "00"} << State::Incomplete
                                      << QByteArray("*L1900") << 6;
    QTest::newRow("ten bytes without a line end")
        << QList<QByteArray>{"*L19000000"} << State::Overlong << QByteArray("*L1900000") << 9;
    QTest::newRow("overlong across pieces")
        << QList<QByteArray>{"*L190", "0000", "0000000\n"} << State::Overlong << QByteArray("*L1900000") << 9;
    QTest::newRow("a flood") << QList<QByteArray>{QByteArray(100000, 'x')} << State::Overlong << QByteArray()
                             << 17;
    QTest::newRow("a flood of stars") << QList<QByteArray>{QByteArray(100000, '*')} << State::Overlong
                                      << QByteArray(9, '*') << 9;
    QTest::newRow("blank line skipped") << QList<QByteArray>{"\n"} << State::Incomplete << QByteArray() << 1;
    QTest::newRow("noise and blank lines before the reply")
        << QList<QByteArray>{QByteArray("\0\r\n\r\n", 5), "\n*P99", "OOO\r\n"} << State::Complete
        << QByteArray("*P99OOO\r\n") << 15;
}

void ReplyParserTest::collectsReplyLines()
{
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(ReplyCollector::State, state);
    QFETCH(QByteArray, line);
    QFETCH(int, taken);
    ReplyCollector collector;
    std::size_t takenTotal = 0;
    for (const QByteArray &piece : pieces)
        takenTotal += collector.feed(piece.constData(), std::size_t(piece.size()));
    QVERIFY(collector.state() == state);
    QCOMPARE(QByteArray::fromStdString(collector.line()), line);
    QCOMPARE(int(takenTotal), taken);
    collector.reset();
    QVERIFY(collector.state() == ReplyCollector::State::Incomplete);
    QVERIFY(collector.line().empty());
}

// Steps "sent L@0" (">B" with its level: "sent B010@0") and "reply L@510" (with its payload: "reply
// B010@510"); each reply's verdict in order: "answer" or "stale".
void ReplyParserTest::matchesRepliesToCommands_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("verdicts");
    QTest::newRow("answer") << "sent L@0; reply L@20" << "answer";
    QTest::newRow("stale ping answer before it") << "sent L@0; reply P@5; reply L@20" << "stale answer";
    QTest::newRow("ignored light on, then its retry")
        << "sent L@0; sent L@500; reply L@510; reply L@530" << "answer stale";
    QTest::newRow("late answer taken for the retry, the retry's own passed over")
        << "sent L@0; sent L@500; reply L@550; sent B010@560; reply L@1050; reply B010@1060" << "answer stale answer";
    QTest::newRow("late answer to another level")
        << "sent B010@0; sent B011@500; reply B010@550; reply B011@560" << "stale answer";
    QTest::newRow("ignored brightness, the same level again")
        << "sent B010@0; sent B010@500; reply B010@510" << "answer";
    QTest::newRow("status query repeated within 1.5 s")
        << "sent S@0; sent S@500; reply S@510; sent S@1000; reply S@1010" << "answer answer";
    QTest::newRow("one duplicate passed over, the next query answered")
        << "sent S@0; sent S@500; reply S@510; reply S@520; sent S@600; reply S@610" << "answer stale answer";
    QTest::newRow("refused light-on answered as light-off") << "sent L@0; reply D@10" << "answer";
    QTest::newRow("another level echoed") << "sent B010@0; reply B012@10" << "answer";
    QTest::newRow("late light-off before a light-on") << "sent D@0; sent L@500; reply D@550; reply L@560"
                                                      << "stale answer";
    QTest::newRow("nothing sent") << "reply S@0" << "stale";
    QTest::newRow("older than 1.5 s") << "sent L@0; reply L@1600" << "stale";
}

void ReplyParserTest::matchesRepliesToCommands()
{
    QFETCH(QString, steps);
    QFETCH(QString, verdicts);
    velmora::protocol::ReplyMatcher matcher;
    QStringList seen;
    for (const QString &step : steps.split(QStringLiteral("; "))) {
        const QString what = step.section(' ', 1).section('@', 0, 0);
        const long long atMs = step.section('@', 1).toLongLong();
        const std::string payload = what.size() > 1 ? what.mid(1).toStdString() : std::string();
        if (step.startsWith(QLatin1String("sent"))) {
            matcher.sent(what.at(0).toLatin1(), payload, atMs);
            continue;
        }
        velmora::protocol::Reply reply;
        reply.letter = what.at(0).toLatin1();
        reply.productId = "19";
        reply.payload = payload.empty() ? "000" : payload;
        const bool answer = matcher.take(reply, atMs) == velmora::protocol::ReplyMatcher::Verdict::Answer;
        seen.append(answer ? QStringLiteral("answer") : QStringLiteral("stale"));
    }
    QCOMPARE(seen.join(' '), verdicts);
}

// Each row is a firmware as the probe meets it: the script answers the exact bytes that firmware understands
// ("\r" and "\n" written as \\r and \\n), and the probe must have written exactly `written`.
void ReplyParserTest::probesTheDialect_data()
{
    QTest::addColumn<bool>("quick");
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<unsigned>("status");
    QTest::addColumn<QString>("found");   // product, terminator, filler, firmware
    QTest::addColumn<QByteArray>("written"); // all of it; for a failure, how it starts
    QTest::newRow("running, CR and digits")
        << true
        << QStringList{">S000\\r>P000\\r\\n => *S19000\\n*P19000\\n", ">J000\\r => *J19000\\n",
                       ">V000\\r => *V19001\\n"}
        << unsigned(velmora::Ok) << "19 CR 0 001" << QByteArray(">S000\r>P000\r\n>J000\r>V000\r");
    QTest::newRow("running, LF and letters, product 98")
        << true
        << QStringList{">S000\\r>P000\\r\\n => ", ">JOOO\\r>VOOO\\r\\n => *J98000\\n",
                       ">JOOO\\r>VOOO\\r\\n => *J98000\\n", ">VOOO\\n => *V98002\\n"}
        << unsigned(velmora::Ok) << "98 LF O 002"
        << QByteArray(">S000\r>P000\r\n>JOOO\r>VOOO\r\n>JOOO\r>VOOO\r\n>VOOO\n");
    QTest::newRow("booting, answers the third round, replies in CR LF")
        << false
        << QStringList{">S000\\r>P000\\r\\n => ", ">JOOO\\r>VOOO\\r\\n => ",
                       ">S000\\r>P000\\r\\n => *S19000\\r\\n*P19000\\r\\n",
                       ">S000\\r>P000\\r\\n => *S19000\\r\\n*P19000\\r\\n", ">J000\\r => ", ">V000\\r => *V19001\\r\\n"}
        << unsigned(velmora::Ok) << "19 CR 0 001"
        << QByteArray(">S000\r>P000\r\n>JOOO\r>VOOO\r\n>S000\r>P000\r\n>S000\r>P000\r\n>J000\r>V000\r");
    QTest::newRow("CR and letters: the round's answer carries the version")
        << true
        << QStringList{">S000\\r>P000\\r\\n => ", ">JOOO\\r>VOOO\\r\\n => *J19000\\n*V19003\\n",
                       ">JOOO\\r>VOOO\\r\\n => *J19000\\n*V19003\\n", ">JOOO\\r => *J19000\\n"}
        << unsigned(velmora::Ok) << "19 CR O 003"
        << QByteArray(">S000\r>P000\r\n>JOOO\r>VOOO\r\n>JOOO\r>VOOO\r\n>JOOO\r");
    QTest::newRow("another product answers the version")
        << true
        << QStringList{">S000\\r>P000\\r\\n => *S19000\\n*P19000\\n", ">J000\\r => *J19000\\n",
                       ">V000\\r => *V15001\\n"}
        << unsigned(velmora::BadReply) << "" << QByteArray(">S000\r>P000\r\n>J000\r>V000\r");
    QTest::newRow("silent: rounds with each filler in turn")
        << true << QStringList()
        << unsigned(velmora::Timeout) << "" << QByteArray(">S000\r>P000\r\n>JOOO\r>VOOO\r\n>S000\r>P000\r\n");
}

void ReplyParserTest::probesTheDialect()
{
    QFETCH(bool, quick);
    QFETCH(QStringList, script);
    QFETCH(unsigned, status);
    QFETCH(QString, found);
    QFETCH(QByteArray, written);
    ScriptedPort port(script);
    velmora::protocol::ReplyMatcher matcher;
    QElapsedTimer clock;
    clock.start();
    velmora::DialectProbe probe(port, matcher, clock);
    velmora::DialectProbe::Found box;
    QCOMPARE(probe.run(quick, box), status);
    if (status != velmora::Ok) {
        QVERIFY2(port.written.startsWith(written), port.written.constData());
        return;
    }
    QCOMPARE(port.written, written);
    QCOMPARE(port.next, script.size());
    const QString identity = QStringLiteral("%1 %2 %3 %4")
                                 .arg(QString::fromStdString(box.productId),
                                      QLatin1String(velmora::protocol::terminatorName(box.dialect.terminator)),
                                      QLatin1String(velmora::protocol::fillerName(box.dialect.filler)),
                                      QString::fromStdString(box.firmware));
    QCOMPARE(identity, found);
}

QTEST_GUILESS_MAIN(ReplyParserTest)
#include "tst_replyparser.moc"
