// What the HTTP server needs of the system's sockets, per platform (httpsystem_unix.cpp, httpsystem_win.cpp):
// how its thread waits for the daemons and for a wake-up from another thread, and how an address is made.
#pragma once

#include <microhttpd.h>

#include <string>
#include <vector>

namespace httpsystem {

// Wakes the server's thread from any thread: an eventfd on Linux, a loopback datagram socket on Windows.
class Wake
{
public:
    Wake();
    ~Wake();
    Wake(const Wake &) = delete;
    Wake &operator=(const Wake &) = delete;

    void wake() const;
    // Takes what woke the thread, so that the next wait sleeps again.
    void drain() const;
    long long handle() const { return readEnd; }

private:
    long long readEnd = -1;
    long long writeEnd = -1;
};

// The daemons' flags for this system's way of waiting (epoll on Linux, select on Windows).
unsigned daemonFlags();

// Sleeps until one of the daemons has work, `wake` is woken, or `timeoutMs` has passed.
void waitForWork(const Wake &wake, const std::vector<MHD_Daemon *> &daemons, long long timeoutMs);

// Ends both directions of a connection's socket at once.
void shutDown(MHD_socket socket);

// A numeric IPv4 or IPv6 address and port as the daemon takes it.
struct Address
{
    alignas(8) unsigned char storage[128] = {};
    bool valid = false;
    const sockaddr *get() const { return valid ? reinterpret_cast<const sockaddr *>(storage) : nullptr; }
};
Address numericAddress(const std::string &host, int port);

} // namespace httpsystem
