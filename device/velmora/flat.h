// Driver of the VELMORA flat field generator (USB serial light box).
#pragma once

#include <string>

#if defined(_WIN32)
#  if defined(VELMORA_BUILDING_LIBRARY)
#    define VELMORA_API __declspec(dllexport)
#  else
#    define VELMORA_API __declspec(dllimport)
#  endif
#else
#  define VELMORA_API __attribute__((visibility("default")))
#endif

namespace velmora {

// Status codes returned by every operation of Flat. 0 is success.
enum Status : unsigned int {
    Ok = 0,
    NotConnected = 1, // no port open (never connected, disconnected, or the box vanished)
    PortError = 2,    // the port could not be opened or failed while in use
    Timeout = 3,      // the box did not answer in time
    BadReply = 4,     // the box answered something that is not the expected reply
    OutOfRange = 5    // an argument outside the range the box accepts
};

class VELMORA_API Flat
{
public:
    Flat();
    virtual ~Flat();

    Flat(const Flat &) = delete;
    Flat &operator=(const Flat &) = delete;

    unsigned int connect(const char *port, const bool &flag);
    unsigned int disconnect();
    unsigned int isFlatConnected(bool &connected);
    unsigned int turnOn();
    unsigned int turnOff();
    unsigned int setBrightness(const unsigned &level);
    unsigned int getAPIversion(std::string &version);

private:
    struct Impl;
    Impl *d;
};

} // namespace velmora
