// The serial port of one box: opening it as the boxes need, writing commands and gathering reply lines.
// Lives on the library's own thread and is used only there.
#pragma once

#include "boxline.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QString>

#include <string>

namespace velmora {

class PortIo : public BoxLine
{
public:
    // 9600 baud, 8N1, DTR set; what waited in the port is thrown away. Ok or PortError.
    unsigned open(const QString &name);
    void close();
    bool isOpen() const override { return port.isOpen(); }
    // The system's handle of the open port, to watch for a hang-up while nothing is sent; -1 when closed.
    long long handle() const;
    // True when the port's device node (or the link naming it) is no longer there.
    bool nodeGone() const;

    unsigned write(const std::string &bytes) override;
    unsigned readMore(const QDeadlineTimer &deadline) override;

protected:
    void dropPending() override;

private:
    QSerialPort port;
    QString portName;
};

} // namespace velmora
