// Driver of the VELMORA flat field generator (USB serial light box).
#pragma once

#include <functional>
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

// What connect learned of the box it connected.
struct Identity
{
    int productId = 0;      // the two digits every reply of the box carries
    std::string firmware;   // the box's answer to the version query, as it reports it ("001")
    std::string terminator; // the command end its firmware reads: "CR" or "LF"
    std::string filler;     // what follows a letter that takes no value: "0" ("000") or "O" ("OOO")
};

// The lamp as the box itself reports it (many boxes light up at power-up).
struct BoxState
{
    bool lampOn = false;
    unsigned brightness = 0; // 0 to 255
};

// One flat box on one serial port (9600 baud, 8N1, no flow control). Every call blocks until the
// box has answered or its time is up (500 ms per command); use it from one thread. A reply is taken
// for the newest command it fits (its letter, and for ">B" its level): the late answer to an earlier
// command, a duplicate or an answer the board kept while starting up is passed over, and a box that
// ignored a command and answers its retry at once is driven on.
// A box that vanishes (port error, hang-up) or misses two counted commands in a row is given up: the port
// closes and every later call returns NotConnected at once until connect. Counted are turnOn, turnOff,
// setBrightness, readState (each of its two queries) and the library's own idle status query below; a
// connect's queries and isFlatConnected are not (a time-out is what they answer).
// The library keeps the port on a thread of its own, which does every call's work while the caller
// waits and, between calls, watches the connected box without the program's help: a hang-up is seen
// at once, its device node is looked at every 0.75 s, and a box that has heard nothing for 1.5 s is
// asked for its status (500 ms, a second time if it does not answer). No answer, or the node gone,
// gives the box up too: a box that falls silent is given up about 2.5 s after its last answer. This needs no Qt event loop and no QCoreApplication in the program.
class VELMORA_API Flat
{
public:
    Flat();
    virtual ~Flat();

    Flat(const Flat &) = delete;
    Flat &operator=(const Flat &) = delete;

    // Opens `port` (its system name or device path, UTF-8), closing any port open before, and
    // pings until the box answers, for up to 5 s: a board resets when its port opens. Then finds
    // out the firmware's dialect (command terminator "\r" or "\n", filler "000" or "OOO"), keeps it
    // for the connection and writes one debug line naming the box, its firmware and its dialect.
    // With `flag` true the box is taken to be running already and pings have 0.3 s. On failure
    // the port is left closed.
    unsigned int connect(const char *port, const bool &flag);
    // The same connect, which on Ok also gives what it learned of the box (as getIdentity would);
    // `identity` is untouched on failure.
    unsigned int connect(const char *port, const bool &flag, Identity &identity);
    // Closes the port; Ok also when nothing was connected.
    unsigned int disconnect();
    // `connected` is true only while the port is open and the box answers a status query.
    unsigned int isFlatConnected(bool &connected);
    unsigned int turnOn();
    unsigned int turnOff();
    // `level` 0 to 255; above that OutOfRange, and nothing is sent. Ok only when the box echoes the
    // level. A level the box has just acknowledged, with no other command since, is not sent again.
    unsigned int setBrightness(const unsigned &level);
    // The library's own version, e.g. "1.0.0".
    unsigned int getAPIversion(std::string &version);

    // The identity of the connected box, from what connect learned; sends nothing. NotConnected
    // (and `identity` untouched) when no box is connected.
    unsigned int getIdentity(Identity &identity);
    // Asks the box for its lamp state (">S") and then its brightness (">J"); `state` is written only
    // when both answered (Ok). A box that does not answer gives Timeout, one that answers nonsense
    // BadReply; NotConnected when no box is connected. Its time-outs count toward giving the box up.
    unsigned int readState(BoxState &state);

    // Called once when a connected box is given up (not on disconnect or a new connect), with the
    // port's name as connect got it, after the port has closed; it may call this object (but not
    // delete it). The thread it runs on:
    // - the thread that made this object, from its Qt event loop, once that thread has been seen to
    //   run one (it has processed events since the object was made or last connected), as in a
    //   QApplication program after exec() has started;
    // - otherwise the library's own thread, within 2 s of a pulled box, also when the program never
    //   runs an event loop or has no QCoreApplication at all. It then runs while the program's own
    //   threads go on: guard what it shares with them.
    // A handler that throws is caught, and the exception is logged as a warning. An empty handler
    // removes it.
    void setLostHandler(std::function<void(const std::string &port)> handler);

private:
    struct Impl;
    Impl *d;
};

} // namespace velmora
