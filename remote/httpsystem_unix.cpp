#include "httpsystem.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace httpsystem {

Wake::Wake() : readEnd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)), writeEnd(readEnd)
{
}

Wake::~Wake()
{
    if (readEnd >= 0)
        ::close(int(readEnd));
}

void Wake::wake() const
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(int(writeEnd), &one, sizeof(one));
}

void Wake::drain() const
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(int(readEnd), &count, sizeof(count));
}

unsigned daemonFlags()
{
    return MHD_USE_EPOLL;
}

void waitForWork(const Wake &wake, const std::vector<MHD_Daemon *> &daemons, long long timeoutMs)
{
    std::vector<pollfd> watched{{int(wake.handle()), POLLIN, 0}};
    for (MHD_Daemon *daemon : daemons)
        watched.push_back({MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_EPOLL_FD)->epoll_fd, POLLIN, 0});
    poll(watched.data(), watched.size(), int(timeoutMs));
}

void shutDown(MHD_socket socket)
{
    ::shutdown(socket, SHUT_RDWR);
}

Address numericAddress(const std::string &host, int port)
{
    Address address;
    if (host.find(':') != std::string::npos) {
        sockaddr_in6 ipv6{};
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(std::uint16_t(port));
        address.valid = inet_pton(AF_INET6, host.c_str(), &ipv6.sin6_addr) == 1;
        std::memcpy(address.storage, &ipv6, sizeof ipv6);
    } else {
        sockaddr_in ipv4{};
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(std::uint16_t(port));
        address.valid = inet_pton(AF_INET, host.c_str(), &ipv4.sin_addr) == 1;
        std::memcpy(address.storage, &ipv4, sizeof ipv4);
    }
    return address;
}

} // namespace httpsystem
