// The serial port of one box: opening it as the boxes need, writing commands and gathering reply lines.
// Lives on the library's own thread and is used only there.
#pragma once

#include "protocol.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QString>

#include <string>

namespace velmora {

class PortIo
{
public:
    // 9600 baud, 8N1, DTR set; what waited in the port is thrown away. Ok or PortError.
    unsigned open(const QString &name);
    void close();
    bool isOpen() const { return port.isOpen(); }
    // The descriptor to watch for a hang-up while nothing is sent; -1 when closed or unknown.
    int handle() const;
    // True when the port's device node (or the link naming it) is no longer there.
    bool nodeGone() const;

    // Ok, NotConnected, or PortError when the port failed (it is then of no more use).
    unsigned write(const std::string &bytes);
    // The next reply line before the deadline, however its bytes come in: Ok with a well-formed reply,
    // BadReply for a malformed or overlong line, Timeout, NotConnected or PortError.
    unsigned nextReply(const QDeadlineTimer &deadline, protocol::Reply &reply);
    // Appends what the port has to the input, waiting for it until the deadline.
    unsigned readMore(const QDeadlineTimer &deadline);
    // Forgets what came in so far, in the port and here.
    void dropInput();
    // Part of a reply line has arrived; its rest is on its way.
    bool lineBegun() const { return !collector.line().empty(); }
    std::size_t inputSize() const { return input.size(); }

private:
    QSerialPort port;
    QString portName;
    std::string input; // bytes read from the port that belong to no reply yet
    protocol::ReplyCollector collector;
};

} // namespace velmora
