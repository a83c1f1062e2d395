// Winsock: select() over the daemons' sockets (Windows has no epoll) and a loopback datagram socket, connected to
// itself, as the wake-up (Windows has no eventfd).
#define FD_SETSIZE 1024 // a Winsock fd_set is a list: it holds as many sockets as this says
#include <winsock2.h>
#include <ws2tcpip.h>

#include "httpsystem.h"

#include <cstdint>
#include <cstring>

namespace httpsystem {
namespace {

SOCKET socketOf(long long handle)
{
    return static_cast<SOCKET>(handle);
}

SOCKET selfConnectedSocket()
{
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return s;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    u_long nonBlocking = 1;
    if (::bind(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::getsockname(s, reinterpret_cast<sockaddr *>(&address), &length) != 0
        || ::connect(s, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        ::closesocket(s);
        return INVALID_SOCKET;
    }
    return s;
}

} // namespace

Wake::Wake()
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    const SOCKET s = selfConnectedSocket();
    readEnd = writeEnd = s == INVALID_SOCKET ? -1 : static_cast<long long>(s);
}

Wake::~Wake()
{
    if (readEnd >= 0)
        ::closesocket(socketOf(readEnd));
    ::WSACleanup();
}

void Wake::wake() const
{
    const char byte = 1;
    ::send(socketOf(writeEnd), &byte, 1, 0);
}

void Wake::drain() const
{
    char bytes[64];
    while (::recv(socketOf(readEnd), bytes, sizeof bytes, 0) > 0) {
    }
}

unsigned daemonFlags()
{
    return 0; // the program's own select() loop
}

void waitForWork(const Wake &wake, const std::vector<MHD_Daemon *> &daemons, long long timeoutMs)
{
    fd_set readable;
    fd_set writable;
    fd_set failed;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socketOf(wake.handle()), &readable);
    MHD_socket highest = 0;
    for (MHD_Daemon *daemon : daemons)
        MHD_get_fdset2(daemon, &readable, &writable, &failed, &highest, FD_SETSIZE);
    timeval timeout{long(timeoutMs / 1000), long(timeoutMs % 1000) * 1000};
    ::select(0, &readable, &writable, &failed, &timeout);
}

void shutDown(MHD_socket socket)
{
    ::shutdown(socket, SD_BOTH);
}

Address numericAddress(const std::string &host, int port)
{
    Address address;
    if (host.find(':') != std::string::npos) {
        sockaddr_in6 ipv6{};
        ipv6.sin6_family = AF_INET6;
        ipv6.sin6_port = htons(std::uint16_t(port));
        address.valid = ::inet_pton(AF_INET6, host.c_str(), &ipv6.sin6_addr) == 1;
        std::memcpy(address.storage, &ipv6, sizeof ipv6);
    } else {
        sockaddr_in ipv4{};
        ipv4.sin_family = AF_INET;
        ipv4.sin_port = htons(std::uint16_t(port));
        address.valid = ::inet_pton(AF_INET, host.c_str(), &ipv4.sin_addr) == 1;
        std::memcpy(address.storage, &ipv4, sizeof ipv4);
    }
    return address;
}

} // namespace httpsystem
