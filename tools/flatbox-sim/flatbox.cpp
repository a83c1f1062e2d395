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

FlatBox::FlatBox(int productId, int refusedLightOns)
    : id(twoDigits(productId)), lightOnsToRefuse(refusedLightOns), cover(hasCover() ? Closed : Moving)
{
}

bool FlatBox::isCommand(const std::string &line)
{
    if (line.size() != 5 || line[0] != '>' || line[1] < 'A' || line[1] > 'Z')
        return false;
    for (std::size_t i = 2; i < 5; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
    }
    return true;
}

std::string FlatBox::reply(char letter, const std::string &payload) const
{
    return std::string("*") + letter + id + payload + '\n';
}

// A refused light-on is answered as the light-off it left the lamp in.
std::string FlatBox::switchOn()
{
    if (lightOnsToRefuse > 0) {
        --lightOnsToRefuse;
        lightOn = false;
        return reply('D', "000");
    }
    lightOn = true;
    return reply('L', "000");
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
    const int value = std::stoi(command.substr(2));
    switch (command[1]) {
    case 'P':
        return reply('P', "OOO");
    case 'L':
        return switchOn();
    case 'D':
        lightOn = false;
        return reply('D', "000");
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
        return reply(command[1], "000");
    default:
        return std::string();
    }
}
