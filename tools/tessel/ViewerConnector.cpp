#include "ViewerConnector.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

ViewerConnector::ViewerConnector(EventLoop &eventLoop, sockaddr_in address, std::chrono::milliseconds interval)
    : loop(eventLoop), target(address), retryInterval(interval)
{
}

ViewerConnector::~ViewerConnector()
{
    cancel();
}

void ViewerConnector::start(std::chrono::milliseconds timeout, Connected connected, GaveUp gaveUp)
{
    cancel();
    onConnected = std::move(connected);
    onGaveUp = std::move(gaveUp);
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
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        failedAttempt(errno);
        return;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&target), sizeof target) == 0) {
        checkResult();
        return;
    }
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
