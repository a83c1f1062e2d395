// libFuzzer target: the device library's check of the box's replies, whole and in pieces.
#include "protocol.h"

#include <cstddef>
#include <cstdint>

using namespace velmora::protocol;

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

void checkParsed(const char *data, std::size_t size)
{
    Reply reply;
    if (!parseReply(data, size, reply))
        return;
    require(size == replyLength || size == replyLength + 1);
    require(data[size - 1] == '\n');
    require(reply.letter >= 'A' && reply.letter <= 'Z');
    require(reply.productId.size() == 2 && isDigit(reply.productId[0]) && isDigit(reply.productId[1]));
    require(reply.payload.size() == 3);
    for (char c : reply.payload)
        require(c > ' ' && c < 0x7f);
}

// The bytes as they might come off the port: in pieces whose size the first byte chooses.
void collectInPieces(const char *data, std::size_t size)
{
    if (size == 0)
        return;
    const std::size_t piece = std::size_t(static_cast<unsigned char>(data[0]) % 16) + 1;
    ReplyCollector collector;
    for (std::size_t offset = 1; offset < size;) {
        const std::size_t offered = piece < size - offset ? piece : size - offset;
        const std::size_t taken = collector.feed(data + offset, offered);
        require(taken <= offered);
        require(collector.line().size() <= maxReplyLength);
        if (collector.state() == ReplyCollector::State::Complete) {
            require(collector.line().front() == '*' && collector.line().back() == '\n');
            checkParsed(collector.line().data(), collector.line().size());
        }
        if (collector.state() != ReplyCollector::State::Incomplete)
            collector.reset();
        else
            require(taken == offered);
        offset += taken;
    }
}

// Commands sent and replies taken in the order and at the times the bytes choose: the matcher remembers a
// bounded number of commands and answers only while one waits.
void matchInOrder(const char *data, std::size_t size)
{
    ReplyMatcher matcher;
    long long nowMs = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        const unsigned char control = static_cast<unsigned char>(data[i]);
        const char letter = char('A' + static_cast<unsigned char>(data[i + 1]) % 26);
        const std::string level = threeDigits(control % 8);
        nowMs += control >> 3;
        if (control & 1) {
            matcher.sent(letter, letter == 'B' ? level : std::string(), nowMs);
        } else {
            const std::size_t waiting = matcher.unanswered();
            Reply reply;
            reply.letter = letter;
            reply.productId = "19";
            reply.payload = level;
            const bool answer = matcher.take(reply, nowMs) == ReplyMatcher::Verdict::Answer;
            require(!answer || waiting > 0);
            require(matcher.unanswered() <= waiting);
        }
        require(matcher.unanswered() <= ReplyMatcher::maxRemembered);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *bytes, std::size_t size)
{
    const char *data = reinterpret_cast<const char *>(bytes);
    checkParsed(data, size);
    collectInPieces(data, size);
    matchInOrder(data, size);
    if (size >= 2) {
        const std::string text = command(data[0], static_cast<unsigned char>(data[1]) * 4u);
        require(text.size() == commandLength && text[0] == '>' && text.back() == '\n');
        const Dialect dialect{data[1] & 1 ? Terminator::Cr : Terminator::Lf,
                              data[1] & 2 ? Filler::Letter : Filler::Digit};
        const std::string plain = command(data[0], dialect);
        const std::string valued = command(data[0], static_cast<unsigned char>(data[1]), dialect);
        require(plain.size() == commandLength && valued.size() == commandLength);
        require(plain.back() == *terminatorText(dialect.terminator) && plain.substr(2, 3) == fillerText(dialect.filler));
    }
    return 0;
}
