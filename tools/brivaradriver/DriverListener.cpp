#include "DriverListener.h"

#include "Endpoint.h"
#include "protocol/Channel.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace channel = protocol::channel;

DriverListener::DriverListener(EventLoop &eventLoop, Accepted accepted, Refused refused)
    : loop(eventLoop), onAccepted(std::move(accepted)), onRefused(std::move(refused))
{
}

DriverListener::~DriverListener()
{
    if (fd >= 0) {
        loop.unwatch(fd);
        channel::closeListener(fd, where.address);
    }
}

bool DriverListener::listen(const ChannelTarget &target, std::string &error)
{
    where = target;
    if (target.isLocal()) {
        const channel::SocketHandle listener = channel::listen(target.address, 5, error);
        if (listener == channel::InvalidSocket)
            return false;
        fd = static_cast<int>(listener);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    } else {
        // Any address --host names, not only loopback: bound here.
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = std::strerror(errno);
            return false;
        }
        // A restarted stand-in must not wait for the old connections' TIME_WAIT.
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, reinterpret_cast<const sockaddr *>(&target.tcp), sizeof target.tcp) != 0
            || ::listen(fd, 5) != 0) {
            error = std::strerror(errno);
            ::close(fd);
            fd = -1;
            return false;
        }
        boundPort = endpoint::localPort(fd).value_or(0);
    }
    loop.watch(fd, POLLIN, [this](short) { acceptOne(); });
    return true;
}

void DriverListener::acceptOne()
{
    const int client = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0)
        return;
    // Whoever connects gets the user's clicks: only the user's own programs.
    if (std::string why; !channel::peerIsOurs(client, where.address, why)) {
        ::close(client);
        onRefused(why);
        return;
    }
    onAccepted(client);
}
