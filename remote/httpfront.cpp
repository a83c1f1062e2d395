#include "httpfront.h"

#include <httplib.h>

#include <netinet/in.h>
#include <sys/socket.h>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// A fixed set of workers and a bounded queue of accepted connections. When the queue is full the accepting
// thread waits, so further connections stay in the system's listen backlog instead of piling up here.
class BoundedPool : public httplib::TaskQueue
{
public:
    BoundedPool(int threads, int maxWaiting)
        : maxWaiting(std::size_t(maxWaiting))
    {
        for (int i = 0; i < threads; ++i)
            workers.emplace_back([this] { work(); });
    }

    void enqueue(std::function<void()> job) override
    {
        std::unique_lock<std::mutex> lock(mutex);
        spaceFree.wait(lock, [this] { return jobs.size() < maxWaiting || stopping; });
        jobs.push_back(std::move(job));
        jobReady.notify_one();
    }

    void shutdown() override
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            stopping = true;
        }
        jobReady.notify_all();
        spaceFree.notify_all();
        for (std::thread &worker : workers)
            worker.join();
    }

private:
    void work()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock<std::mutex> lock(mutex);
                jobReady.wait(lock, [this] { return !jobs.empty() || stopping; });
                if (jobs.empty())
                    return;
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            spaceFree.notify_one();
            job();
        }
    }

    const std::size_t maxWaiting;
    std::mutex mutex;
    std::condition_variable jobReady;
    std::condition_variable spaceFree;
    std::deque<std::function<void()>> jobs;
    std::vector<std::thread> workers;
    bool stopping = false;
};

// Only SO_REUSEADDR (the library's default adds SO_REUSEPORT, which would let a second program share the port);
// an IPv6 socket on all interfaces also takes IPv4.
void socketOptions(socket_t sock)
{
    const int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_storage address{};
    socklen_t length = sizeof(address);
    if (getsockname(sock, reinterpret_cast<sockaddr *>(&address), &length) == 0 && address.ss_family == AF_INET6) {
        const int no = 0;
        setsockopt(sock, IPPROTO_IPV6, IPV6_V6ONLY, &no, sizeof(no));
    }
}

} // namespace

HttpFront::HttpFront(Handler handler)
    : handler(std::move(handler))
{
}

HttpFront::~HttpFront()
{
    stop();
}

bool HttpFront::bind(const std::string &host, int &port)
{
    auto server = std::make_unique<httplib::Server>();
    server->new_task_queue = [] { return new BoundedPool(workerThreads, waitingConnections); };
    server->set_socket_options(socketOptions);
    server->set_tcp_nodelay(true);
    server->set_keep_alive_max_count(100000);
    server->set_keep_alive_timeout(keepAliveSeconds);
    server->set_read_timeout(readTimeoutSeconds, 0);
    server->set_write_timeout(readTimeoutSeconds, 0);
    server->set_payload_max_length(maxBodyBytes);
    const httplib::Server::Handler route = [this](const httplib::Request &request, httplib::Response &response) {
        handler(request, response);
    };
    const std::string any(".*");
    server->Get(any, route).Put(any, route).Post(any, route).Delete(any, route).Patch(any, route).Options(any, route);
    server->set_exception_handler([](const httplib::Request &, httplib::Response &response, std::exception_ptr) {
        response.status = 500;
        response.set_content("Internal error", "text/plain; charset=utf-8");
    });

    if (port == 0) {
        const int chosen = server->bind_to_any_port(host);
        if (chosen <= 0)
            return false;
        port = chosen;
    } else if (!server->bind_to_port(host, port)) {
        return false;
    }
    hosts.push_back(host);
    servers.push_back(std::move(server));
    return true;
}

bool HttpFront::bindAll(bool network, int port)
{
    stop();
    int chosen = port;
    if (network) {
        if (!bind("::", chosen) && !bind("0.0.0.0", chosen))
            return false;
    } else {
        if (!bind("127.0.0.1", chosen))
            return false;
        bind("::1", chosen); // a machine without IPv6 serves on IPv4 only
    }
    boundPort = chosen;
    return true;
}

void HttpFront::start()
{
    for (auto &server : servers)
        threads.emplace_back([raw = server.get()] { raw->listen_after_bind(); });
    // stop() does nothing to a server that has not started listening yet.
    for (auto &server : servers)
        for (int waited = 0; !server->is_running() && waited < 2000; ++waited)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void HttpFront::stop()
{
    for (auto &server : servers)
        server->stop();
    for (std::thread &thread : threads)
        thread.join();
    threads.clear();
    servers.clear();
    hosts.clear();
}

std::string HttpFront::listenText() const
{
    std::string text;
    for (const std::string &host : hosts) {
        if (!text.empty())
            text += " and ";
        text += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    }
    return text + " port " + std::to_string(boundPort);
}
