// The Alpaca server's HTTP side on cpp-httplib: listening sockets, worker threads and limits. Each request is
// handed to the handler on a worker thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}

class HttpFront
{
public:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    // Worker threads per listening address, and connections that may wait for one.
    static constexpr int workerThreads = 6;
    static constexpr int waitingConnections = 16;
    static constexpr int keepAliveSeconds = 3;
    static constexpr int readTimeoutSeconds = 2;
    static constexpr std::size_t maxBodyBytes = 16 * 1024;

    explicit HttpFront(Handler handler);
    ~HttpFront();

    // network: all interfaces (IPv6 and IPv4 on one socket where the system allows it); otherwise 127.0.0.1 and
    // ::1. Port 0 takes a free port. False when the port could not be had; nothing listens then.
    bool bindAll(bool network, int port);
    // Starts serving on the bound sockets.
    void start();
    void stop();
    int port() const { return boundPort; }
    // "127.0.0.1 and [::1] port 11111", for the debug line and the setup page.
    std::string listenText() const;

private:
    bool bind(const std::string &host, int &port);

    Handler handler;
    std::vector<std::unique_ptr<httplib::Server>> servers;
    std::vector<std::string> hosts;
    std::vector<std::thread> threads;
    int boundPort = 0;
};
