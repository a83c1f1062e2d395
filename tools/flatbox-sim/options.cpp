#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

bool toNumber(const char *text, long minimum, long maximum, long &value)
{
    if (text == nullptr || *text == '\0')
        return false;
    char *end = nullptr;
    errno = 0;
    const long number = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || number < minimum || number > maximum)
        return false;
    value = number;
    return true;
}

bool oneOf(const char *value, std::initializer_list<const char *> choices)
{
    for (const char *choice : choices) {
        if (value != nullptr && std::strcmp(value, choice) == 0)
            return true;
    }
    return false;
}

struct NumberOption
{
    long minimum;
    long maximum;
    long SimOptions::*field;
};

const std::map<std::string, NumberOption> &numberOptions()
{
    const long large = 1000000000L;
    static const std::map<std::string, NumberOption> options = {
        {"--boot-delay-ms", {0, large, &SimOptions::bootDelayMs}},
        {"--line-rate", {1, 4000000L, &SimOptions::lineRate}},
        {"--refuse-light-on", {0, large, &SimOptions::refusedLightOns}},
        {"--silent-after", {0, large, &SimOptions::silentAfter}},
        {"--unplug-after", {1, large, &SimOptions::unplugAfter}},
        {"--unplug-mid-reply", {0, large, &SimOptions::unplugMidReply}},
        {"--faults-after", {0, large, &SimOptions::faultsAfter}},
        {"--overlong", {1, 100000000L, &SimOptions::overlong}},
        {"--split-gap-ms", {0, 10000, &SimOptions::splitGapMs}},
        {"--startup-wait-ms", {0, large, &SimOptions::startupWaitMs}},
        {"--reply-latency-ms", {0, large, &SimOptions::replyLatencyMs}},
        {"--lit-at-boot", {0, 255, &SimOptions::litAtBoot}},
    };
    return options;
}

// "L:3": a command letter and a number.
bool toLetterNumber(const char *text, long maximum, char &letter, long &value)
{
    if (text == nullptr || text[0] < 'A' || text[0] > 'Z' || text[1] != ':')
        return false;
    letter = text[0];
    return toNumber(text + 2, 0, maximum, value);
}

} // namespace

bool parseOptions(int argc, char **argv, SimOptions &options, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long number = 0;
        char letter = 0;
        const auto numeric = numberOptions().find(name);
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--garbage") {
            options.garbage = true;
        } else if (name == "--random-bytes") {
            options.randomBytes = true;
        } else if (name == "--split-replies") {
            options.splitReplies = true;
        } else if (name == "--drain") {
            options.drain = true;
        } else if (name == "--dtr-gated") {
            options.dtrGated = true;
        } else if (name == "--stray-before-reply") {
            options.strayBeforeReply = true;
        } else if (name == "--native-usb") {
            options.nativeUsb = true;
        } else if ((name == "--drop" || name == "--latency-for") && toLetterNumber(value, 1000000000L, letter, number)) {
            (name == "--drop" ? options.drops : options.latencyFor)[letter] = number;
            ++i;
        } else if (name == "--terminator" && oneOf(value, {"lf", "cr", "any"})) {
            options.terminator = value;
            ++i;
        } else if (name == "--filler" && oneOf(value, {"digit", "letter", "any", "classic"})) {
            options.filler = value;
            ++i;
        } else if (name == "--reply-end" && oneOf(value, {"lf", "crlf"})) {
            options.replyEnd = value;
            ++i;
        } else if (name == "--log" && value != nullptr && *value != '\0') {
            options.logPath = value;
            ++i;
        } else if (name == "--product-id" && toNumber(value, 0, 99, number)) {
            options.productId = int(number);
            ++i;
        } else if (name == "--seed" && toNumber(value, 0, 2147483647L, number)) {
            options.seed = unsigned(number);
            ++i;
        } else if (numeric != numberOptions().end()
                   && toNumber(value, numeric->second.minimum, numeric->second.maximum, number)) {
            options.*(numeric->second.field) = number;
            ++i;
        } else {
            error = "bad option or value: " + name + (value ? std::string(" ") + value : std::string());
            return false;
        }
    }
    return true;
}

const char *usageText()
{
    return "Usage: velmora-flatbox-sim [options]\n"
           "Simulates a VELMORA flat box on a pseudo-terminal and prints its device path as the\n"
           "first line. Ends on SIGTERM or SIGINT (Ctrl-C), or when its standard input closes\n"
           "if that is a pipe.\n"
           "\n"
           "  --product-id N         two-digit product id (default 19; 99 has a cover)\n"
           "  --boot-delay-ms N      ignore input for N ms after each open of the port (the\n"
           "                         board resets when its port opens; its boot loader is deaf)\n"
           "  --startup-wait-ms N    then keep input (up to 64 bytes) unread for N ms more\n"
           "  --terminator T         what ends a command: lf, cr or any (default any)\n"
           "  --filler F             the three characters after a letter without a value, in\n"
           "                         commands and replies: digit (000), letter (OOO), any (reads\n"
           "                         both, writes OOO) or classic (default: reads 000, answers\n"
           "                         a ping with OOO and the rest with 000)\n"
           "  --reply-end E          lf or crlf (default lf)\n"
           "  --drain                act only on 6 waiting bytes, read one command up to its\n"
           "                         terminator (1 s read time-out), reply, drop the rest\n"
           "  --reply-latency-ms N   answer each command N ms late (after --faults-after)\n"
           "  --lit-at-boot N        the lamp lights at level N at every reset, as many boxes\n"
           "                         do at power-up (default: dark at level 0)\n"
           "  --native-usb           keep every byte sent during the start-up wait (a board with\n"
           "                         native USB holds the host back), not only 64 of them\n"
           "  --dtr-gated            send only while a client holds the port open (a pty has\n"
           "                         no DTR line; the serial driver raises it at open)\n"
           "  --stray-before-reply   write a NUL and a blank line before every reply\n"
           "  --line-rate BAUD       delay commands and replies by their time on the line\n"
           "                         (10 bits per byte)\n"
           "  --refuse-light-on N    answer the first N light-on commands with light-off\n"
           "  --silent-after N       stop answering after N commands\n"
           "  --unplug-after N       close the pty after N commands\n"
           "  --unplug-mid-reply N   answer N commands, then close the pty halfway through\n"
           "                         the next reply\n"
           "  --faults-after N       answer N commands normally before the faults below\n"
           "  --drop L:N             ignore the next N commands of letter L (repeatable)\n"
           "  --latency-for L:MS     answer the commands of letter L MS ms late (repeatable)\n"
           "  --garbage              malformed replies\n"
           "  --random-bytes         random bytes instead of replies (--seed N)\n"
           "  --overlong N           replies with N payload bytes\n"
           "  --split-replies        write replies one byte at a time (--split-gap-ms N,\n"
           "                         default 2)\n"
           "  --log FILE             write each received command with a time stamp\n";
}
