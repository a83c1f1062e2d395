// The box's side of the serial command set: a light panel (or a panel with a motorised
// cover) that keeps its light state, brightness and cover state.
#pragma once

#include <string>

class FlatBox
{
public:
    // Product ids: 19 light panel, 10 and 15 larger light panels, 99 panel with a cover.
    FlatBox(int productId, int refusedLightOns);

    // True for ">" + letter + three digits.
    static bool isCommand(const std::string &line);

    // The reply line ('\n' included) to a command line given without its terminator;
    // empty when the box does not answer that command.
    std::string answer(const std::string &command);

    std::string productId() const { return id; }
    bool lightIsOn() const { return lightOn; }
    int brightness() const { return level; }

private:
    bool hasCover() const { return id == "99"; }
    std::string reply(char letter, const std::string &payload) const;
    std::string switchOn();
    std::string statusPayload() const;

    std::string id;
    int lightOnsToRefuse;
    bool lightOn = false;
    int level = 0;
    enum Cover { Moving = 0, Closed = 1, Open = 2 };
    int cover;
};
