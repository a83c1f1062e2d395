#include "dialectprobe.h"

#include "velmora/flat.h"

#include <QtGlobal>

namespace velmora {
namespace {

constexpr int exchangeTimeoutMs = 500;
// An Arduino board resets when its port opens: its boot loader hears nothing for up to 2 s, and
// some firmwares wait up to 2 s more before they read. The first answer may come 4.5 s after the open.
constexpr int bootWaitMs = 5000;
// Rounds of queries go out at this pace while the box boots, alternately with each filler.
constexpr int probePeriodMs = 75;
// With `quick`, the box is taken to be running: the rounds it gets have this long.
constexpr int quickWaitMs = 300;
// A box answers a query it has read within this, on the line and through the USB adapter: the
// second answer of a round, or the answer to a query that may be lost, is waited for this long.
constexpr int promptAnswerMs = 45;
// After the first answer, the answers to every round the box kept while starting up may follow (a
// board with native USB keeps all of them): they have all come when the line has been this quiet.
constexpr int quietGapMs = 40;
constexpr int backlogLimitMs = 1500; // some 180 answers at 9600 baud
constexpr std::size_t backlogBytesKept = 4096;

constexpr char ping = 'P';
constexpr char status = 'S';
constexpr char version = 'V';
constexpr char storedBrightness = 'J';

protocol::Filler otherFiller(protocol::Filler filler)
{
    return filler == protocol::Filler::Digit ? protocol::Filler::Letter : protocol::Filler::Digit;
}

protocol::Filler fillerAnswering(char letter)
{
    return letter == status || letter == ping ? protocol::Filler::Digit : protocol::Filler::Letter;
}

bool answersARound(const protocol::Reply &reply)
{
    return reply.letter == status || reply.letter == ping || reply.letter == storedBrightness
           || reply.letter == version;
}

} // namespace

DialectProbe::DialectProbe(BoxLine &line, protocol::ReplyMatcher &matcher, const QElapsedTimer &clock)
    : line(line)
    , matcher(matcher)
    , clock(clock)
{
}

// A round of two queries in one write, ">S000\r>P000\r\n" (">JOOO\r>VOOO\r\n" with the other filler),
// that every firmware answers when it reads its filler:
// - one that reads up to "\n" reads the whole as one command and answers the first query only;
// - one that reads up to "\r" answers the second, and the first too unless the "\n" of the round
//   before is still waiting in front of it (it arrives after such a firmware has emptied its input).
// So an answer to the second query means "\r", an answer to the first alone "\n"; the letters tell
// the filler.
DialectProbe::Round DialectProbe::roundFor(protocol::Filler filler)
{
    return filler == protocol::Filler::Digit ? Round{status, ping} : Round{storedBrightness, version};
}

std::string DialectProbe::roundText(protocol::Filler filler)
{
    const Round round = roundFor(filler);
    const protocol::Dialect cr{protocol::Terminator::Cr, filler};
    return protocol::command(round.first, cr) + protocol::command(round.second, cr) + "\n";
}

unsigned DialectProbe::run(bool quick, Found &found)
{
    result = Found();
    protocol::Reply firstAnswer;
    bool onlyRound = false;
    unsigned status = awaitBox(quick, firstAnswer, onlyRound);
    if (status == Ok) {
        result.productId = firstAnswer.productId;
        status = identifyDialect(firstAnswer, onlyRound);
    }
    if (status == Ok)
        found = result;
    return status;
}

// Sends rounds until the box answers: a board that has just reset stays silent through its boot
// loader. The fillers take turns, for firmwares that read only one. `onlyRound`: the answer can
// only be to the one round sent.
unsigned DialectProbe::awaitBox(bool quick, protocol::Reply &firstAnswer, bool &onlyRound)
{
    const QDeadlineTimer until(quick ? quickWaitMs : bootWaitMs);
    protocol::Filler filler = protocol::Filler::Digit;
    unsigned outcome = Timeout;
    int rounds = 0;
    while (!until.hasExpired()) {
        ++rounds;
        const unsigned sent = line.write(roundText(filler));
        if (sent != Ok)
            return sent;
        QDeadlineTimer pace(qMin<qint64>(probePeriodMs, until.remainingTime()));
        for (;;) {
            protocol::Reply reply;
            const unsigned got = line.nextReply(pace, reply);
            if (got == Ok && answersARound(reply)) {
                firstAnswer = reply;
                onlyRound = rounds == 1;
                return Ok;
            }
            // A reply on its way is awaited before the next round, so that it is known to answer this one.
            if (got == Timeout && line.lineBegun() && !until.hasExpired()) {
                pace = QDeadlineTimer(qMin<qint64>(promptAnswerMs, until.remainingTime()));
                continue;
            }
            if (got == Timeout)
                break;
            if (got != Ok && got != BadReply)
                return got;
            outcome = BadReply; // a box that answers nonsense still gets rounds only at the pace
        }
        filler = otherFiller(filler);
    }
    return outcome;
}

// Waits until the answers to every round that the box kept while starting up have come and the line
// has been quiet, however many there are: a board with native USB keeps all that was sent meanwhile.
void DialectProbe::skipBacklog()
{
    const QDeadlineTimer limit(backlogLimitMs);
    while (!limit.hasExpired()) {
        if (line.readMore(QDeadlineTimer(quietGapMs)) != Ok)
            break;
        if (line.inputSize() > backlogBytesKept)
            line.dropInput();
    }
    line.dropInput();
}

// Answers of the round's letters only: answers to earlier rounds may still come.
unsigned DialectProbe::awaitRoundAnswer(const QDeadlineTimer &deadline, Round round, protocol::Reply &reply)
{
    for (;;) {
        const unsigned got = line.nextReply(deadline, reply);
        if (got != Ok)
            return got;
        if (reply.letter != round.first && reply.letter != round.second)
            continue;
        return reply.productId == result.productId ? Ok : BadReply;
    }
}

// The answers to one round: the first within the exchange bound, a second one shortly after it.
unsigned DialectProbe::readRound(protocol::Filler filler, const protocol::Reply *alreadyAnswered)
{
    const Round round = roundFor(filler);
    bool secondAnswered = alreadyAnswered && alreadyAnswered->letter == round.second;
    protocol::Reply reply;
    if (!alreadyAnswered) {
        const unsigned got = awaitRoundAnswer(QDeadlineTimer(exchangeTimeoutMs), round, reply);
        if (got != Ok)
            return got;
        secondAnswered = reply.letter == round.second;
    }
    const QDeadlineTimer limit(exchangeTimeoutMs);
    while (!secondAnswered && !limit.hasExpired()) {
        const unsigned got = awaitRoundAnswer(QDeadlineTimer(promptAnswerMs), round, reply);
        if (got == Ok)
            secondAnswered = reply.letter == round.second;
        else if (got != Timeout || !line.lineBegun())
            break; // nothing more on its way
    }
    result.dialect.filler = filler;
    result.dialect.terminator = secondAnswered ? protocol::Terminator::Cr : protocol::Terminator::Lf;
    if (reply.letter == version)
        result.firmware = reply.payload;
    return Ok;
}

// After the box answered, a round in the filler it answered to (the other one if it stays silent)
// tells its dialect. Answers to earlier rounds are waited out first.
unsigned DialectProbe::identifyDialect(const protocol::Reply &firstAnswer, bool onlyRound)
{
    const protocol::Filler hint = fillerAnswering(firstAnswer.letter);
    unsigned outcome = Timeout;
    if (onlyRound) {
        if (firstAnswer.letter == version)
            result.firmware = firstAnswer.payload;
        outcome = readRound(hint, &firstAnswer);
    } else {
        skipBacklog();
        for (const protocol::Filler filler : {hint, otherFiller(hint)}) {
            outcome = line.write(roundText(filler));
            if (outcome == Ok)
                outcome = readRound(filler, nullptr);
            if (outcome != Timeout)
                break;
        }
    }
    if (outcome == Ok && result.dialect.terminator == protocol::Terminator::Cr)
        outcome = clearHeldLineEnd();
    if (outcome == Ok && result.firmware.empty())
        outcome = askVersion();
    return outcome;
}

// A firmware that reads up to "\r" still holds the round's "\n": a query it may lose (">J", whose
// answer nothing else waits for) clears it before the version is asked. Unanswered, its late answer
// is passed over.
unsigned DialectProbe::clearHeldLineEnd()
{
    const unsigned sent = send(storedBrightness);
    if (sent != Ok)
        return sent;
    protocol::Reply reply;
    const unsigned got = awaitAnswer(QDeadlineTimer(promptAnswerMs), reply);
    return got == NotConnected || got == PortError ? got : Ok;
}

// The firmware's version, asked in the dialect found.
unsigned DialectProbe::askVersion()
{
    const QDeadlineTimer deadline(exchangeTimeoutMs);
    line.dropInput();
    const unsigned sent = send(version);
    if (sent != Ok)
        return sent;
    protocol::Reply reply;
    const unsigned got = awaitAnswer(deadline, reply);
    if (got != Ok)
        return got;
    if (reply.letter != version)
        return BadReply;
    result.firmware = reply.payload;
    return Ok;
}

unsigned DialectProbe::send(char letter)
{
    const unsigned written = line.write(protocol::command(letter, result.dialect));
    if (written == Ok)
        matcher.sent(letter, std::string(), clock.elapsed());
    return written;
}

// The reply that answers the newest query sent; late answers to earlier ones are passed over.
unsigned DialectProbe::awaitAnswer(const QDeadlineTimer &deadline, protocol::Reply &reply)
{
    for (;;) {
        const unsigned got = line.nextReply(deadline, reply);
        if (got != Ok)
            return got;
        if (matcher.take(reply, clock.elapsed()) == protocol::ReplyMatcher::Verdict::Stale)
            continue;
        return reply.productId == result.productId ? Ok : BadReply;
    }
}

} // namespace velmora
