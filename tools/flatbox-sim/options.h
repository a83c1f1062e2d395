// Command-line options of the box simulator.
#pragma once

#include <map>
#include <string>

struct SimOptions
{
    int productId = 19;
    long bootDelayMs = 0;     // input ignored this long after the first byte
    long lineRate = 0;        // baud of the modelled line; 0: no line delay
    long refusedLightOns = 0; // light-on commands answered with light-off
    long silentAfter = -1;    // commands answered before the box goes silent; -1: never
    long unplugAfter = -1;    // commands answered before the pty closes; -1: never
    long unplugMidReply = -1; // commands answered before the pty closes halfway through a reply
    long faultsAfter = 0;     // commands answered normally before the faults below start
    bool garbage = false;     // malformed reply lines
    bool randomBytes = false; // random bytes instead of replies
    unsigned seed = 1;        // of the random bytes
    long overlong = 0;        // reply payloads this many bytes long
    bool splitReplies = false; // replies written one byte at a time
    long splitGapMs = 2;      // pause between the bytes of a split reply
    std::string logPath;      // each received command with a time stamp
    // The firmware's dialect and start-up.
    std::string terminator = "any"; // what ends a command: "lf", "cr" or "any" (either)
    std::string filler = "classic"; // "digit", "letter", "any" or "classic"
    std::string replyEnd = "lf";    // "lf" or "crlf"
    bool drain = false;       // act on 6 waiting bytes, read one command, reply, drop the rest
    long startupWaitMs = 0;   // after the boot loader, input kept (64 bytes) but not read yet
    long replyLatencyMs = 0;  // each reply this much later
    long litAtBoot = -1;      // after each reset the lamp is on at this level (many boxes light at power-up); -1: dark
    bool dtrGated = false;    // send only while a client holds the port open
    bool strayBeforeReply = false; // a NUL and a blank line before every reply
    std::map<char, long> drops;      // per letter: the next commands of it ignored (after faultsAfter)
    std::map<char, long> latencyFor; // per letter: its replies this much later (after faultsAfter)
    bool nativeUsb = false;          // keep every byte sent during the start-up wait, not only 64
    bool help = false;
};

// Returns false with a message for options it does not understand.
bool parseOptions(int argc, char **argv, SimOptions &options, std::string &error);

const char *usageText();
