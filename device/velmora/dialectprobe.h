// Finding a box's firmware dialect once its port is open: rounds of queries until the box answers (a board
// resets when its port opens), then which command end ("\r" or "\n") and filler ("000" or "OOO") it reads, then
// its firmware version.
#pragma once

#include "boxline.h"
#include "protocol.h"

#include <QElapsedTimer>

#include <string>

namespace velmora {

class DialectProbe
{
public:
    struct Found
    {
        std::string productId; // two digits
        protocol::Dialect dialect;
        std::string firmware;
    };

    // `matcher` gets every command sent, so that the connection goes on from what the probe left unanswered;
    // `clock` times them.
    DialectProbe(BoxLine &line, protocol::ReplyMatcher &matcher, const QElapsedTimer &clock);

    // With `quick` the box is taken to be running and gets 0.3 s, otherwise 5 s to answer. Ok with `found` filled,
    // or Timeout, BadReply, NotConnected or PortError.
    unsigned run(bool quick, Found &found);

private:
    struct Round
    {
        char first;
        char second;
    };
    static Round roundFor(protocol::Filler filler);
    static std::string roundText(protocol::Filler filler);

    unsigned awaitBox(bool quick, protocol::Reply &firstAnswer, bool &onlyRound);
    void skipBacklog();
    unsigned identifyDialect(const protocol::Reply &firstAnswer, bool onlyRound);
    unsigned readRound(protocol::Filler filler, const protocol::Reply *alreadyAnswered);
    unsigned awaitRoundAnswer(const QDeadlineTimer &deadline, Round round, protocol::Reply &reply);
    unsigned clearHeldLineEnd();
    unsigned askVersion();
    unsigned send(char letter);
    unsigned awaitAnswer(const QDeadlineTimer &deadline, protocol::Reply &reply);

    BoxLine &line;
    protocol::ReplyMatcher &matcher;
    const QElapsedTimer &clock;
    Found result;
};

} // namespace velmora
