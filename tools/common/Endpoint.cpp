#include "Endpoint.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>

namespace endpoint {

std::optional<sockaddr_in> resolve(const std::string &host, std::uint16_t port, std::string &error)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1)
        return address;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (status != 0 || found == nullptr) {
        error = status != 0 ? ::gai_strerror(status) : "no IPv4 address";
        return std::nullopt;
    }
    std::memcpy(&address.sin_addr, &reinterpret_cast<sockaddr_in *>(found->ai_addr)->sin_addr,
                sizeof address.sin_addr);
    ::freeaddrinfo(found);
    return address;
}

std::string describe(const sockaddr_in &address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

std::optional<std::string> describePeer(int socketFd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getpeername(socketFd, reinterpret_cast<sockaddr *>(&address), &length) != 0
        || address.sin_family != AF_INET)
        return std::nullopt;
    return describe(address);
}

std::optional<std::uint16_t> localPort(int socketFd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(socketFd, reinterpret_cast<sockaddr *>(&address), &length) != 0
        || address.sin_family != AF_INET)
        return std::nullopt;
    return ntohs(address.sin_port);
}

} // namespace endpoint
