#include "protocol.h"

namespace velmora::protocol {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isCapitalLetter(char c)
{
    return c >= 'A' && c <= 'Z';
}

// Visible ASCII: no blanks, control bytes or 8-bit bytes.
bool isVisible(char c)
{
    return c > ' ' && c < 0x7f;
}

bool hasLineEnd(const char *data, std::size_t size)
{
    if (size == replyLength)
        return data[replyLength - 1] == '\n';
    if (size == replyLength + 1)
        return data[replyLength - 1] == '\r' && data[replyLength] == '\n';
    return false;
}

} // namespace

std::string threeDigits(unsigned value)
{
    value %= maxCommandValue + 1;
    std::string digits(3, '0');
    for (int i = 2; i >= 0; --i, value /= 10)
        digits[std::size_t(i)] = char('0' + value % 10);
    return digits;
}

bool parseLevel(const std::string &payload, unsigned &value)
{
    if (payload.size() != 3)
        return false;
    unsigned parsed = 0;
    for (const char c : payload) {
        if (c < '0' || c > '9')
            return false;
        parsed = parsed * 10 + unsigned(c - '0');
    }
    value = parsed;
    return true;
}

std::string command(char letter, unsigned value)
{
    return std::string(1, '>') + letter + threeDigits(value) + '\n';
}

const char *terminatorText(Terminator terminator)
{
    return terminator == Terminator::Cr ? "\r" : "\n";
}

std::string fillerText(Filler filler)
{
    return filler == Filler::Letter ? "OOO" : "000";
}

Filler fillerOf(const std::string &payload)
{
    return payload == "OOO" ? Filler::Letter : Filler::Digit;
}

const char *terminatorName(Terminator terminator)
{
    return terminator == Terminator::Cr ? "CR" : "LF";
}

const char *fillerName(Filler filler)
{
    return filler == Filler::Letter ? "O" : "0";
}

std::string command(char letter, const Dialect &dialect)
{
    return std::string(1, '>') + letter + fillerText(dialect.filler) + terminatorText(dialect.terminator);
}

std::string command(char letter, unsigned value, const Dialect &dialect)
{
    return std::string(1, '>') + letter + threeDigits(value) + terminatorText(dialect.terminator);
}

bool parseReply(const char *data, std::size_t size, Reply &reply)
{
    if (data == nullptr || !hasLineEnd(data, size))
        return false;
    if (data[0] != '*' || !isCapitalLetter(data[1]) || !isDigit(data[2]) || !isDigit(data[3]))
        return false;
    for (std::size_t i = 4; i < 7; ++i) {
        if (!isVisible(data[i]))
            return false;
    }
    reply.letter = data[1];
    reply.productId.assign(data + 2, 2);
    reply.payload.assign(data + 4, 3);
    return true;
}

std::size_t ReplyCollector::feed(const char *data, std::size_t size)
{
    std::size_t taken = 0;
    while (currentState == State::Incomplete && taken < size) {
        const char c = data[taken++];
        if (collected.empty() && c != '*') {
            if (++skipped > maxStrayBytes)
                currentState = State::Overlong;
            continue;
        }
        collected.push_back(c);
        if (c == '\n')
            currentState = State::Complete;
        else if (collected.size() == maxReplyLength)
            currentState = State::Overlong;
    }
    return taken;
}

void ReplyCollector::reset()
{
    collected.clear();
    skipped = 0;
    currentState = State::Incomplete;
}


bool ReplyMatcher::fits(const Command &command, const Reply &reply)
{
    return command.letter == reply.letter && (command.payload.empty() || command.payload == reply.payload);
}

void ReplyMatcher::sent(char letter, const std::string &payload, long long nowMs)
{
    forget(nowMs);
    waiting.push_back({letter, payload, nowMs});
    while (waiting.size() > maxRemembered)
        waiting.pop_front();
}

ReplyMatcher::Verdict ReplyMatcher::take(const Reply &reply, long long nowMs)
{
    forget(nowMs);
    for (std::size_t i = waiting.size(); i-- > 0;) {
        if (!fits(waiting[i], reply))
            continue;
        const bool newest = i + 1 == waiting.size();
        takeAsIgnored(i);
        waiting.pop_front(); // the command it answers
        return newest ? Verdict::Answer : Verdict::Stale;
    }
    for (auto it = ignored.begin(); it != ignored.end(); ++it) {
        if (fits(*it, reply)) {
            ignored.erase(it);
            return Verdict::Stale;
        }
    }
    if (waiting.empty())
        return Verdict::Stale;
    const char expected = waiting.back().letter;
    if (reply.letter == expected || (expected == 'L' && reply.letter == 'D')) {
        takeAsIgnored(waiting.size() - 1);
        waiting.pop_front();
        return Verdict::Answer;
    }
    return Verdict::Stale;
}

void ReplyMatcher::clear()
{
    waiting.clear();
    ignored.clear();
}

void ReplyMatcher::forget(long long nowMs)
{
    const auto expired = [nowMs](const Command &command) { return nowMs - command.sentAtMs > horizonMs; };
    while (!waiting.empty() && expired(waiting.front()))
        waiting.pop_front();
    while (!ignored.empty() && expired(ignored.front()))
        ignored.pop_front();
}

// The `count` oldest unanswered commands were passed over by the box.
void ReplyMatcher::takeAsIgnored(std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        ignored.push_back(waiting.front());
        waiting.pop_front();
    }
    while (ignored.size() > maxRemembered)
        ignored.pop_front();
}

} // namespace velmora::protocol
