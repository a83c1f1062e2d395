#include "flatbox.h"

#include <cstdio>

namespace {

const char firmwareVersion[] = "001";
const int maxBrightness = 255;

std::string twoDigits(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value % 100);
    return text;
}

std::string threeDigits(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%03d", value % 1000);
    return text;
}

} // namespace

FlatBox::FlatBox(int productId, int refusedLightOns, Filler filler, const std::string &replyEnd)
    : id(twoDigits(productId)), lightOnsToRefuse(refusedLightOns), fillerKind(filler), lineEnd(replyEnd),
      cover(hasCover() ? Closed : Moving)
{
}

void FlatBox::reset(int litLevel)
{
    lightOn = litLevel >= 0;
    level = litLevel >= 0 ? litLevel : 0;
}

bool FlatBox::isCommand(const std::string &line) const
{
    if (line.size() != 5 || line[0] != '>' || line[1] < 'A' || line[1] > 'Z')
        return false;
    const std::string field = line.substr(2);
    const bool letters = field == "OOO";
    if (letters)
        return fillerKind == Filler::Letter || fillerKind == Filler::Any;
    for (char c : field) {
        if (c < '0' || c > '9')
            return false;
    }
    // A letter-only firmware reads a value only after ">B".
    return fillerKind != Filler::Letter || field != "000" || line[1] == 'B';
}

std::string FlatBox::filler() const
{
    return fillerKind == Filler::Letter || fillerKind == Filler::Any ? "OOO" : "000";
}

std::string FlatBox::reply(char letter, const std::string &payload) const
{
    return std::string("*") + letter + id + payload + lineEnd;
}

// A refused light-on is answered as the light-off it left the lamp in.
std::string FlatBox::switchOn()
{
    if (lightOnsToRefuse > 0) {
        --lightOnsToRefuse;
        lightOn = false;
        return reply('D', filler());
    }
    lightOn = true;
    return reply('L', filler());
}

std::string FlatBox::statusPayload() const
{
    const char motor = '0';
    return std::string(1, motor) + (lightOn ? '1' : '0') + char('0' + cover);
}

std::string FlatBox::answer(const std::string &command)
{
    if (!isCommand(command))
        return std::string();
    const int value = command.substr(2) == "OOO" ? 0 : std::stoi(command.substr(2));
    switch (command[1]) {
    case 'P':
        return reply('P', fillerKind == Filler::Classic ? "OOO" : filler());
    case 'L':
        return switchOn();
    case 'D':
        lightOn = false;
        return reply('D', filler());
    case 'B':
        level = value > maxBrightness ? maxBrightness : value;
        return reply('B', threeDigits(level));
    case 'J':
        return reply('J', threeDigits(level));
    case 'S':
        return reply('S', statusPayload());
    case 'V':
        return reply('V', firmwareVersion);
    case 'O':
    case 'C':
        if (!hasCover())
            return std::string();
        cover = command[1] == 'O' ? Open : Closed;
        return reply(command[1], filler());
    default:
        return std::string();
    }
}
