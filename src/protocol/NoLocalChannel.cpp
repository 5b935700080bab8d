// Windows: the programs meet over loopback TCP only.
#include "LocalChannel.h"

namespace net = platform::net;

namespace protocol::local_channel {

std::string baseFolder()
{
    return {};
}

net::SocketHandle openSocket()
{
    return net::InvalidSocket;
}

bool bind(net::SocketHandle, const std::string &, std::string &error)
{
    error = "this system has no Unix sockets";
    return false;
}

void removeFile(const std::string &) {}

bool connect(net::SocketHandle, const std::string &)
{
    return false;
}

bool peerIsOurs(net::SocketHandle, std::string &why)
{
    why = "this system has no Unix sockets";
    return false;
}

} // namespace protocol::local_channel
