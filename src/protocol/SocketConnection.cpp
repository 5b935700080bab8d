#include "SocketConnection.h"

namespace net = platform::net;

SocketConnection::SocketConnection(net::SocketHandle handle)
    : socket(handle)
{
}

SocketConnection::~SocketConnection()
{
    net::closeSocket(socket);
}

long SocketConnection::receiveSome(void *buffer, std::size_t size)
{
    return net::receiveSome(socket, buffer, size);
}

bool SocketConnection::sendAll(const void *data, std::size_t size)
{
    if (shutDown)
        return false;
    if (net::sendAll(socket, data, size))
        return true;
    shutdown();
    return false;
}

void SocketConnection::shutdown()
{
    if (!shutDown.exchange(true))
        net::shutdownSocket(socket, net::Direction::Both);
}
