#include "boxline.h"

#include "velmora/flat.h"

namespace velmora {

unsigned BoxLine::nextReply(const QDeadlineTimer &deadline, protocol::Reply &reply)
{
    for (;;) {
        const std::size_t taken = collector.feed(input.data(), input.size());
        input.erase(0, taken);
        const auto state = collector.state();
        if (state != protocol::ReplyCollector::State::Incomplete) {
            const std::string line = collector.line();
            collector.reset();
            if (state == protocol::ReplyCollector::State::Overlong)
                return BadReply;
            return protocol::parseReply(line.data(), line.size(), reply) ? Ok : BadReply;
        }
        const unsigned result = readMore(deadline);
        if (result != Ok)
            return result;
    }
}

void BoxLine::forgetInput()
{
    input.clear();
    collector.reset();
}

void BoxLine::dropInput()
{
    forgetInput();
    dropPending();
}

} // namespace velmora
