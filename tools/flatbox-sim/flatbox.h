// The box's side of the serial command set: a light panel (or a panel with a motorised
// cover) that keeps its light state, brightness and cover state.
#pragma once

#include <string>

class FlatBox
{
public:
    // How the firmware writes the three characters after a letter that takes no value, and which
    // spellings it reads. Classic: reads digits, answers a ping with "OOO" and the rest with "000".
    enum class Filler { Classic, Digit, Letter, Any };

    // Product ids: 19 light panel, 10 and 15 larger light panels, 99 panel with a cover.
    FlatBox(int productId, int refusedLightOns, Filler filler = Filler::Classic,
            const std::string &replyEnd = "\n");

    // True for ">" + letter + three digits, or the letters "OOO" where the filler allows them.
    bool isCommand(const std::string &line) const;

    // The reply line (its end included) to a command line given without its terminator;
    // empty when the box does not answer that command.
    std::string answer(const std::string &command);

    // A reset of the board: the lamp goes dark at level 0, or lights at `litLevel` when that is 0 or more; a
    // cover stops where it is.
    void reset(int litLevel = -1);

    std::string productId() const { return id; }
    bool lightIsOn() const { return lightOn; }
    int brightness() const { return level; }

private:
    bool hasCover() const { return id == "99"; }
    std::string reply(char letter, const std::string &payload) const;
    std::string filler() const;
    std::string switchOn();
    std::string statusPayload() const;

    std::string id;
    int lightOnsToRefuse;
    Filler fillerKind;
    std::string lineEnd;
    bool lightOn = false;
    int level = 0;
    enum Cover { Moving = 0, Closed = 1, Open = 2 };
    int cover;
};
