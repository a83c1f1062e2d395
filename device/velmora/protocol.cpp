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

} // namespace velmora::protocol
