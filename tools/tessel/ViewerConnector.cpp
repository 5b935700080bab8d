#include "ViewerConnector.h"

#include "protocol/Channel.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

ViewerConnector::ViewerConnector(EventLoop &eventLoop, ChannelTarget address, std::chrono::milliseconds interval)
    : loop(eventLoop), target(std::move(address)), retryInterval(interval)
{
}

ViewerConnector::~ViewerConnector()
{
    cancel();
}

void ViewerConnector::start(std::chrono::milliseconds timeout, Connected connected, GaveUp gaveUp, Refused refused)
{
    cancel();
    onConnected = std::move(connected);
    onGaveUp = std::move(gaveUp);
    onRefused = std::move(refused);
    deadline = EventLoop::Clock::now() + timeout;
    trying = true;
    attempt();
}

void ViewerConnector::cancel()
{
    trying = false;
    loop.cancel(retryTimer);
    retryTimer = 0;
    closeSocket();
}

void ViewerConnector::attempt()
{
    retryTimer = 0;
    if (target.isLocal()) {
        fd = static_cast<int>(protocol::channel::openSocket(target.address));
        if (fd >= 0)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    } else {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    }
    if (fd < 0) {
        failedAttempt(errno);
        return;
    }
    const bool connectedAtOnce =
        target.isLocal() ? protocol::channel::connect(fd, target.address)
                         : ::connect(fd, reinterpret_cast<const sockaddr *>(&target.tcp), sizeof target.tcp) == 0;
    if (connectedAtOnce) {
        checkResult();
        return;
    }
    // A Unix socket connects at once or not at all (EAGAIN: a full backlog).
    if (errno != EINPROGRESS) {
        failedAttempt(errno);
        return;
    }
    loop.watch(fd, POLLOUT, [this](short) { checkResult(); });
}

void ViewerConnector::checkResult()
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        failedAttempt(error);
        return;
    }
    loop.unwatch(fd);
    if (std::string why; !protocol::channel::listenerIsOurs(fd, target.address, why)) {
        onRefused(why);
        failedAttempt(EACCES);
        return;
    }
    const int connected = fd;
    fd = -1;
    trying = false;
    onConnected(connected);
}

void ViewerConnector::failedAttempt(int error)
{
    closeSocket();
    if (EventLoop::Clock::now() + retryInterval > deadline) {
        trying = false;
        onGaveUp(error);
        return;
    }
    retryTimer = loop.after(retryInterval, [this] { attempt(); });
}

void ViewerConnector::closeSocket()
{
    if (fd < 0)
        return;
    loop.unwatch(fd);
    ::close(fd);
    fd = -1;
}
