// The box's serial command set: building commands and checking replies.
// Plain C++ without Qt, so that the fuzz target can drive it on its own.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

namespace velmora::protocol {

// ">" + letter + three digits + "\n"
constexpr std::size_t commandLength = 6;

// The boxes' firmwares do not all speak alike: some end a command with "\r", others with "\n",
// and the three characters after a letter that takes no value are "000" or "OOO".
enum class Terminator { Cr, Lf };
enum class Filler { Digit, Letter };

struct Dialect
{
    Terminator terminator = Terminator::Lf;
    Filler filler = Filler::Digit;
};

const char *terminatorText(Terminator terminator);
// "000" or "OOO".
std::string fillerText(Filler filler);
// The filler a reply payload is written with; Digit unless it is "OOO".
Filler fillerOf(const std::string &payload);
// "CR" or "LF", "0" or "O": as the connection's debug line names them.
const char *terminatorName(Terminator terminator);
const char *fillerName(Filler filler);
// "*" + letter + two-digit product id + three characters + "\n" (or "\r\n")
constexpr std::size_t replyLength = 8;
constexpr std::size_t maxReplyLength = replyLength + 1;
// Bytes skipped before a reply's "*" that still pass for a stray line end or noise.
constexpr std::size_t maxStrayBytes = 16;
// Largest value that fits in a command's three digits.
constexpr unsigned maxCommandValue = 999;

// The command text for `letter` with `value` (at most maxCommandValue) as three digits.
std::string command(char letter, unsigned value);

// A command without a value ("P", "L", "D", "S", "V", "J") in the box's dialect.
std::string command(char letter, const Dialect &dialect);
// A command with a value (">B") in the box's dialect.
std::string command(char letter, unsigned value, const Dialect &dialect);

// The three-digit text of a value as the box writes it in replies ("007").
std::string threeDigits(unsigned value);

// Reads a reply's three-digit payload ("007") as a number; false for anything else.
bool parseLevel(const std::string &payload, unsigned &value);

struct Reply
{
    char letter = 0;
    std::string productId; // two digits
    std::string payload;   // three printable characters
};

// Checks one complete reply line (terminator included) and splits it into its fields.
// Returns false, leaving `reply` untouched, for anything that is not a well-formed reply.
bool parseReply(const char *data, std::size_t size, Reply &reply);

// Gathers one reply line from bytes that may arrive in pieces. Bytes before the line's "*"
// (blank lines, a lone terminator, noise of a resetting board) are skipped. It never keeps more
// than maxReplyLength bytes: a longer line is refused as soon as it is seen to be too long.
class ReplyCollector
{
public:
    enum class State { Incomplete, Complete, Overlong };

    // More than maxStrayBytes before a "*" make the line Overlong, with nothing collected.
    // Takes bytes up to and including the line's '\n' (or up to the point where the line
    // turns out too long) and returns how many it took, skipped bytes included; the rest
    // belongs to the next reply.
    std::size_t feed(const char *data, std::size_t size);
    State state() const { return currentState; }
    const std::string &line() const { return collected; }
    void reset();

private:
    std::string collected;
    std::size_t skipped = 0;
    State currentState = State::Incomplete;
};


// Which command a reply answers. The box answers the commands it reads in order, but it may ignore one
// (a busy firmware, a noisy cable) or answer late, and its answers to commands with the same letter
// look alike. A reply answers the newest unanswered command that it fits (its letter, and for a
// command with an expected payload that payload); older unanswered commands are then taken as ignored
// by the box, and one later duplicate answer to each is passed over. A reply that fits an older command
// is that command's late answer; one that fits nothing is stale. Only when nothing else fits, a reply
// with the newest command's letter but another payload, or a light-on answered as light-off, is the
// box's (unexpected) answer to it.
class ReplyMatcher
{
public:
    enum class Verdict { Answer, Stale };

    // Older commands are no longer waited for: past this, their answers count as stale.
    static constexpr long long horizonMs = 1500;
    static constexpr std::size_t maxRemembered = 32;

    // A command went out at `nowMs`; `payload` is the payload its reply must carry (empty: any).
    void sent(char letter, const std::string &payload, long long nowMs);
    Verdict take(const Reply &reply, long long nowMs);
    void clear();
    std::size_t unanswered() const { return waiting.size(); }

private:
    struct Command
    {
        char letter;
        std::string payload;
        long long sentAtMs;
    };
    static bool fits(const Command &command, const Reply &reply);
    void forget(long long nowMs);
    void takeAsIgnored(std::size_t count);

    std::deque<Command> waiting; // sent and unanswered, oldest first
    std::deque<Command> ignored; // taken as ignored: one late answer each is still passed over
};

} // namespace velmora::protocol
