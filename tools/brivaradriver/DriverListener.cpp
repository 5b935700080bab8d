#include "DriverListener.h"

#include "Endpoint.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

DriverListener::DriverListener(EventLoop &eventLoop, Accepted accepted)
    : loop(eventLoop), onAccepted(std::move(accepted))
{
}

DriverListener::~DriverListener()
{
    if (fd >= 0) {
        loop.unwatch(fd);
        ::close(fd);
    }
}

bool DriverListener::listen(const sockaddr_in &address, std::string &error)
{
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // A restarted stand-in must not wait for the old connections' TIME_WAIT.
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0
        || ::listen(fd, 5) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        fd = -1;
        return false;
    }
    boundPort = endpoint::localPort(fd).value_or(0);
    loop.watch(fd, POLLIN, [this](short) { acceptOne(); });
    return true;
}

void DriverListener::acceptOne()
{
    const int client = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client >= 0)
        onAccepted(client);
}
