#include "LoopbackSockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace {

sockaddr_in loopback(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool waitReadable(int fd, std::chrono::milliseconds timeout)
{
    pollfd polled{fd, POLLIN, 0};
    return ::poll(&polled, 1, static_cast<int>(timeout.count())) > 0;
}

} // namespace

TestSocket::TestSocket(int socketFd) : fd(socketFd) {}

TestSocket::~TestSocket()
{
    close();
}

TestSocket::TestSocket(TestSocket &&other) noexcept : fd(std::exchange(other.fd, -1)) {}

TestSocket &TestSocket::operator=(TestSocket &&other) noexcept
{
    if (this != &other) {
        close();
        fd = std::exchange(other.fd, -1);
    }
    return *this;
}

void TestSocket::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

TestSocket TestSocket::connectTo(std::uint16_t port)
{
    TestSocket socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in address = loopback(port);
    if (::connect(socket.fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        socket.close();
    const int on = 1;
    ::setsockopt(socket.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return socket;
}

bool TestSocket::sendAll(const Bytes &bytes) const
{
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

std::optional<Bytes> TestSocket::receiveExactly(std::size_t size, std::chrono::milliseconds timeout) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Bytes bytes(size);
    std::size_t got = 0;
    while (got < size) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !waitReadable(fd, left))
            return std::nullopt;
        const ssize_t n = ::recv(fd, bytes.data() + got, size - got, 0);
        if (n <= 0)
            return std::nullopt;
        got += static_cast<std::size_t>(n);
    }
    return bytes;
}

bool TestSocket::closedByPeer(std::chrono::milliseconds timeout) const
{
    if (!waitReadable(fd, timeout))
        return false;
    std::uint8_t byte = 0;
    const ssize_t got = ::recv(fd, &byte, 1, 0);
    // A peer that exits with bytes unread resets the connection instead.
    return got == 0 || (got < 0 && errno == ECONNRESET);
}

bool TestSocket::staysQuiet(std::chrono::milliseconds period) const
{
    return !waitReadable(fd, period);
}

TestListener::TestListener(bool listening) : socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    const int on = 1;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback(0);
    ::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(socket.get(), reinterpret_cast<sockaddr *>(&bound), &length);
    boundPort = ntohs(bound.sin_port);
    if (listening)
        listen();
}

void TestListener::listen()
{
    ::listen(socket.get(), 5);
}

TestSocket TestListener::accept(std::chrono::milliseconds timeout)
{
    if (!waitReadable(socket.get(), timeout))
        return TestSocket();
    return TestSocket(::accept4(socket.get(), nullptr, nullptr, SOCK_CLOEXEC));
}
