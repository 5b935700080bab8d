// BSD sockets behind the socket calls of the core.
#include "platform/Net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

namespace platform::net {

namespace {

int fd(SocketHandle socket)
{
    return static_cast<int>(socket);
}

sockaddr_in ipv4(std::uint32_t address, std::uint16_t port)
{
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(port);
    in.sin_addr.s_addr = htonl(address);
    return in;
}

} // namespace

bool startup()
{
    return true;
}

void cleanup() {}

SocketHandle openTcpSocket()
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return s < 0 ? InvalidSocket : s;
}

bool setListenerAddressOption(SocketHandle socket)
{
    const int on = 1;
    return ::setsockopt(fd(socket), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

bool bindTo(SocketHandle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in in = ipv4(address, port);
    return ::bind(fd(socket), reinterpret_cast<const sockaddr *>(&in), sizeof in) == 0;
}

bool listenOn(SocketHandle socket, int backlog)
{
    return ::listen(fd(socket), backlog) == 0;
}

SocketHandle acceptConnection(SocketHandle listener)
{
    for (;;) {
        const int s = ::accept4(fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
        if (s >= 0)
            return s;
        if (errno != EINTR)
            return InvalidSocket;
    }
}

bool connectTo(SocketHandle socket, std::uint32_t address, std::uint16_t port)
{
    const sockaddr_in in = ipv4(address, port);
    for (;;) {
        if (::connect(fd(socket), reinterpret_cast<const sockaddr *>(&in), sizeof in) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

std::optional<std::uint32_t> resolveIPv4(const std::string &hostName)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(hostName.c_str(), nullptr, &hints, &found) != 0 || !found)
        return std::nullopt;
    const auto *in = reinterpret_cast<const sockaddr_in *>(found->ai_addr);
    const std::uint32_t address = ntohl(in->sin_addr.s_addr);
    ::freeaddrinfo(found);
    return address;
}

std::optional<std::uint16_t> localPort(SocketHandle socket)
{
    sockaddr_in in{};
    socklen_t length = sizeof in;
    if (::getsockname(fd(socket), reinterpret_cast<sockaddr *>(&in), &length) != 0)
        return std::nullopt;
    return ntohs(in.sin_port);
}

long sendSome(SocketHandle socket, const void *data, std::size_t size)
{
    for (;;) {
        const ssize_t sent = ::send(fd(socket), data, size, MSG_NOSIGNAL);
        if (sent >= 0 || errno != EINTR)
            return static_cast<long>(sent);
    }
}

long receiveSome(SocketHandle socket, void *buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = ::recv(fd(socket), buffer, size, 0);
        if (got >= 0 || errno != EINTR)
            return static_cast<long>(got);
    }
}

bool sendAll(SocketHandle socket, const void *data, std::size_t size)
{
    const auto *bytes = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const long sent = sendSome(socket, bytes, size);
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool setSendTimeout(SocketHandle socket, int milliseconds)
{
    timeval timeout{};
    timeout.tv_sec = milliseconds / 1000;
    timeout.tv_usec = (milliseconds % 1000) * 1000;
    return ::setsockopt(fd(socket), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) == 0;
}

bool shutdownSocket(SocketHandle socket, Direction direction)
{
    const int how = direction == Direction::Send      ? SHUT_WR
                    : direction == Direction::Receive ? SHUT_RD
                                                      : SHUT_RDWR;
    return ::shutdown(fd(socket), how) == 0;
}

bool closeSocket(SocketHandle socket)
{
    return socket != InvalidSocket && ::close(fd(socket)) == 0;
}

int lastError()
{
    return errno;
}

} // namespace platform::net
