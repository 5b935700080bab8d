#pragma once

#include "protocol/ChannelAddress.h"

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

// Where a stand-in meets the watchdog: the user's Unix socket (the default
// on Linux), or a TCP address (--port, --host, or TESSEL_LOOPBACK_TCP=1).
struct ChannelTarget
{
    protocol::ChannelAddress address;
    sockaddr_in tcp{}; // TCP: the resolved address (--host may name any)
    std::string text;  // "/run/user/1000/tessel/viewer.sock" or "127.0.0.1:1933"

    bool isLocal() const { return address.isLocal(); }
};

struct ChannelChoice
{
    std::optional<std::string> socketPath; // --socket
    std::optional<std::string> host;       // --host
    std::optional<std::uint16_t> port;     // --port
};

// --socket wins; --port or --host mean TCP (on 127.0.0.1 and the channel's
// fixed port unless given); otherwise the program's own channel as the
// watchdog would choose it. Nothing, with the reason in `error`, when a host
// cannot be resolved.
std::optional<ChannelTarget> chooseChannel(const ChannelChoice &choice, const protocol::ChannelAddress &ownChannel,
                                           std::uint16_t fixedPort, std::string &error);
