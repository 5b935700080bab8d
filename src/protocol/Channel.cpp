#include "Channel.h"

#include "ChannelMode.h"
#include "LocalChannel.h"
#include "ServicePorts.h"

#include <cerrno>
#include <cstring>

namespace net = platform::net;

namespace protocol {

std::string channelFolder()
{
    const std::string base = local_channel::baseFolder();
    return base.empty() ? std::string() : base + "/tessel";
}

namespace {

ChannelAddress channelFor(const char *socketName, std::uint16_t port)
{
    if (loopbackTcpRequested())
        return ChannelAddress::loopbackTcp(port);
    return ChannelAddress::localSocket(channelFolder() + "/" + socketName);
}

} // namespace

ChannelAddress viewerChannel()
{
    return channelFor(ViewerSocketName, ServicePorts::viewer);
}

ChannelAddress driverChannel()
{
    return channelFor(DriverSocketName, ServicePorts::driver);
}

namespace channel {

SocketHandle openSocket(const ChannelAddress &address)
{
    return address.isLocal() ? local_channel::openSocket() : net::openTcpSocket();
}

bool prepareListener(SocketHandle socket, const ChannelAddress &address)
{
    return address.isLocal() || net::setListenerAddressOption(socket);
}

bool bind(SocketHandle socket, const ChannelAddress &address, std::string &error)
{
    if (address.isLocal())
        return local_channel::bind(socket, address.path, error);
    if (net::bindTo(socket, net::LoopbackAddress, address.port))
        return true;
    error = errorText(net::lastError());
    return false;
}

bool connect(SocketHandle socket, const ChannelAddress &address)
{
    if (address.isLocal())
        return local_channel::connect(socket, address.path);
    return net::connectTo(socket, net::LoopbackAddress, address.port);
}

SocketHandle listen(const ChannelAddress &address, int backlog, std::string &error)
{
    const SocketHandle socket = openSocket(address);
    if (socket == InvalidSocket) {
        error = errorText(net::lastError());
        return InvalidSocket;
    }
    prepareListener(socket, address);
    if (!bind(socket, address, error)) {
        const int reason = net::lastError();
        net::closeSocket(socket);
        errno = reason; // the caller tells a held address from other failures
        return InvalidSocket;
    }
    if (!net::listenOn(socket, backlog)) {
        error = errorText(net::lastError());
        net::closeSocket(socket);
        return InvalidSocket;
    }
    return socket;
}

void closeListener(SocketHandle listener, const ChannelAddress &address)
{
    if (address.isLocal())
        local_channel::removeFile(address.path);
    if (listener != InvalidSocket)
        net::closeSocket(listener);
}

bool peerIsOurs(SocketHandle accepted, const ChannelAddress &address, std::string &why)
{
    return address.isLocal() ? local_channel::peerIsOurs(accepted, why) : net::peerIsOurs(accepted, why);
}

bool listenerIsOurs(SocketHandle connected, const ChannelAddress &address, std::string &why)
{
    // A Unix socket's peer credentials name the listener on the client's side.
    return address.isLocal() ? local_channel::peerIsOurs(connected, why) : net::listenerIsOurs(connected, why);
}

int lastError()
{
    return net::lastError();
}

std::string errorText(int error)
{
    return std::strerror(error);
}

} // namespace channel

} // namespace protocol
