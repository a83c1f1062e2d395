// A box's line as the library reads it: bytes written out, reply lines gathered however their bytes come in.
// The serial port is one; a test's scripted port is another.
#pragma once

#include "protocol.h"

#include <QDeadlineTimer>

#include <cstddef>
#include <string>

namespace velmora {

class BoxLine
{
public:
    virtual ~BoxLine() = default;

    virtual bool isOpen() const = 0;
    // Ok, NotConnected, or PortError when the line failed (it is then of no more use).
    virtual unsigned write(const std::string &bytes) = 0;
    // Appends what the line has to the input, waiting for it until the deadline: Ok, Timeout, NotConnected or
    // PortError.
    virtual unsigned readMore(const QDeadlineTimer &deadline) = 0;

    // The next reply line before the deadline: Ok with a well-formed reply, BadReply for a malformed or overlong
    // line, Timeout, NotConnected or PortError.
    unsigned nextReply(const QDeadlineTimer &deadline, protocol::Reply &reply);
    // Forgets what came in so far, here and in the line.
    void dropInput();
    // Part of a reply line has arrived; its rest is on its way.
    bool lineBegun() const { return !collector.line().empty(); }
    std::size_t inputSize() const { return input.size(); }

protected:
    void appendInput(const char *data, std::size_t size) { input.append(data, size); }
    void forgetInput();
    // What the line itself still holds for reading.
    virtual void dropPending() {}

private:
    std::string input; // bytes read that belong to no reply yet
    protocol::ReplyCollector collector;
};

} // namespace velmora
