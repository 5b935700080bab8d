#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <netinet/in.h>

// IPv4 addresses for the stand-ins, when they meet on TCP (--port, --host,
// or TESSEL_LOOPBACK_TCP=1).
namespace endpoint {

// A dotted address or a host name with an IPv4 address ("localhost").
std::optional<sockaddr_in> resolve(const std::string &host, std::uint16_t port, std::string &error);

// "127.0.0.1:1933"
std::string describe(const sockaddr_in &address);
std::optional<std::string> describePeer(int socketFd);
std::optional<std::uint16_t> localPort(int socketFd);

} // namespace endpoint
