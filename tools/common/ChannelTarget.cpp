#include "ChannelTarget.h"

#include "Endpoint.h"

std::optional<ChannelTarget> chooseChannel(const ChannelChoice &choice, const protocol::ChannelAddress &ownChannel,
                                           std::uint16_t fixedPort, std::string &error)
{
    ChannelTarget target;
    if (choice.socketPath) {
        target.address = protocol::ChannelAddress::localSocket(*choice.socketPath);
        target.text = *choice.socketPath;
        return target;
    }
    if (!choice.host && !choice.port && ownChannel.isLocal()) {
        if (ownChannel.path.front() != '/') {
            error = "no folder of this user's own for the channel socket (set XDG_RUNTIME_DIR or HOME)";
            return std::nullopt;
        }
        target.address = ownChannel;
        target.text = ownChannel.path;
        return target;
    }
    const std::uint16_t port = choice.port.value_or(ownChannel.isLocal() ? fixedPort : ownChannel.port);
    const std::string host = choice.host.value_or("127.0.0.1");
    const auto resolved = endpoint::resolve(host, port, error);
    if (!resolved) {
        error = "cannot resolve " + host + ": " + error;
        return std::nullopt;
    }
    target.address = protocol::ChannelAddress::loopbackTcp(port);
    target.tcp = *resolved;
    target.text = endpoint::describe(*resolved);
    return target;
}
