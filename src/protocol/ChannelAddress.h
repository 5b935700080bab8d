#pragma once

#include <cstdint>
#include <string>

namespace protocol {

// Where one of the two channels meets: a Unix socket file (Linux, the
// default there) or a port on the loopback address (Windows, and Linux on
// request).
struct ChannelAddress
{
    enum class Kind { LocalSocket, LoopbackTcp };

    Kind kind = Kind::LoopbackTcp;
    std::string path;       // LocalSocket
    std::uint16_t port = 0; // LoopbackTcp (0: any free port, for a listener)

    static ChannelAddress localSocket(std::string socketPath)
    {
        return {Kind::LocalSocket, std::move(socketPath), 0};
    }
    static ChannelAddress loopbackTcp(std::uint16_t tcpPort) { return {Kind::LoopbackTcp, {}, tcpPort}; }

    bool isLocal() const { return kind == Kind::LocalSocket; }
    // "/run/user/1000/tessel/viewer.sock" or "127.0.0.1:1933"
    std::string describe() const { return isLocal() ? path : "127.0.0.1:" + std::to_string(port); }
};

inline constexpr const char *ViewerSocketName = "viewer.sock";
inline constexpr const char *DriverSocketName = "driver.sock";

// The folder of this user's channel sockets: "tessel" in the session's
// runtime folder ($XDG_RUNTIME_DIR), else in a folder only this user owns
// (the user's state folder, as for the single-instance lock; never a
// world-writable one such as /tmp). Empty when the user has neither.
std::string channelFolder();

// The channels of this process: the loopback ports when TCP is requested
// (always on Windows), else the sockets in channelFolder(). Read when asked,
// so a test can point them elsewhere through the environment.
ChannelAddress viewerChannel();
ChannelAddress driverChannel();

} // namespace protocol
