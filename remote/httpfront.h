// The Alpaca server's HTTP side on libmicrohttpd: every connection on one thread of its own, driven by epoll,
// with limits on connections, on the size of headers and bodies and on the time to send the headers. A request
// whose answer comes later (from the controller's thread) is suspended and holds up no other client.
#pragma once

#include "alpacaprotocol.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

struct MHD_Daemon;

class HttpFront
{
public:
    // Any thread, once: the reply of a request that the handler put off.
    using Later = std::function<void(const alpaca::Reply &)>;
    // The server's thread: the reply now, or none when the handler keeps `later` and calls it once.
    using Handler = std::function<std::optional<alpaca::Reply>(const alpaca::Request &, const Later &later)>;

    // On each listening address; two of them (127.0.0.1 and ::1) stay well inside the usual 1024 descriptors.
    static constexpr unsigned maxConnections = 300;
    static constexpr std::size_t maxHeaderBytes = 16 * 1024; // request line and headers, all together
    static constexpr std::size_t maxBodyBytes = 16 * 1024;
    static constexpr std::chrono::seconds headerTime{5};      // from the connection or the previous reply
    static constexpr unsigned idleSeconds = 10;               // no byte in or out (a stalled body or reader)

    explicit HttpFront(Handler handler);
    ~HttpFront();
    HttpFront(const HttpFront &) = delete;
    HttpFront &operator=(const HttpFront &) = delete;

    // network: all interfaces (IPv6 and IPv4 on one socket where the system allows it); otherwise 127.0.0.1 and
    // ::1. Port 0 takes a free port. False when the port could not be had; nothing listens then.
    bool bindAll(bool network, int port);
    // Starts serving on the bound sockets, on the server's thread.
    void start();
    // Closes every connection at once (put-off requests get 503) and ends the server's thread.
    void stop();
    int port() const { return boundPort; }
    // "127.0.0.1 and [::1] port 11111", for the debug line and the setup page.
    std::string listenText() const;

    struct Loop; // the server's thread and its bookkeeping (httpfront.cpp)

private:
    bool bind(const std::string &host, int &port);

    Handler handler;
    std::vector<MHD_Daemon *> daemons;
    std::vector<std::string> hosts;
    std::unique_ptr<Loop> loop;
    std::thread thread;
    int boundPort = 0;
};
