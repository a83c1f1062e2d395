// The two ways to reach the box as INDI's standard connection plugins present them (CONNECTION_MODE,
// DEVICE_PORT, DEVICE_ADDRESS). They open nothing themselves: the device library opens the serial port (with
// its boot wait and dialects), and the Alpaca client talks to the panel.
#pragma once

#include <connectionplugins/connectionserial.h>
#include <connectionplugins/connectiontcp.h>

class BoxSerialConnection : public Connection::Serial
{
public:
    using Connection::Serial::Serial;
    bool Connect() override { return Handshake && Handshake(); }
    bool Disconnect() override { return true; }
};

class PanelConnection : public Connection::TCP
{
public:
    using Connection::TCP::TCP;
    bool Connect() override { return Handshake && Handshake(); }
    bool Disconnect() override { return true; }
    std::string label() override { return "Through the panel"; }
};
