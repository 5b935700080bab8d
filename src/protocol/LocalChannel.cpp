#include "LocalChannel.h"

#include "platform/LocalSocket.h"

#include <cerrno>
#include <cstring>

namespace net = platform::net;

namespace protocol::local_channel {

namespace {

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

} // namespace

std::string baseFolder()
{
    return net::privateBaseFolder();
}

net::SocketHandle openSocket()
{
    return net::openLocalSocket();
}

bool bind(net::SocketHandle socket, const std::string &path, std::string &error)
{
    // Nobody else may reach a socket in a folder only we can enter: that,
    // not the socket file's own mode, keeps other users out.
    if (!net::preparePrivateFolder(folderOf(path), error))
        return false;
    if (net::bindLocal(socket, path))
        return true;
    if (errno != EADDRINUSE) {
        error = std::strerror(errno);
        return false;
    }
    if (net::localListenerAnswers(path)) {
        error = "another program serves " + path;
        errno = EADDRINUSE;
        return false;
    }
    // Left by a copy that crashed: nobody answers there any more.
    if (!net::removeSocketFile(path)) {
        error = path + " is in the way and is no socket of ours to replace";
        return false;
    }
    if (net::bindLocal(socket, path))
        return true;
    error = std::strerror(errno);
    return false;
}

void removeFile(const std::string &path)
{
    net::removeSocketFile(path);
}

bool connect(net::SocketHandle socket, const std::string &path)
{
    return net::connectLocal(socket, path);
}

bool peerIsOurs(net::SocketHandle socket, std::string &why)
{
    return net::localPeerIsOurs(socket, why);
}

} // namespace protocol::local_channel
