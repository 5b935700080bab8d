#include "StreamConnection.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

StreamConnection::StreamConnection(EventLoop &eventLoop, int socketFd, DataHandler dataHandler,
                                   EndHandler endHandler)
    : loop(eventLoop), fd(socketFd), onData(std::move(dataHandler)), onEnd(std::move(endHandler))
{
    // Small messages go out at once, so a message sent in pieces really
    // arrives in pieces.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    loop.watch(fd, POLLIN, [this](short revents) { onEvents(revents); });
}

StreamConnection::~StreamConnection()
{
    close();
    loop.cancel(reportTimer);
}

void StreamConnection::write(std::vector<std::uint8_t> bytes, std::chrono::milliseconds pauseBefore)
{
    if (fd < 0 || closing)
        return;
    outbox.push_back({std::move(bytes), 0, pauseBefore, pauseBefore.count() <= 0});
    if (outbox.size() == 1)
        sendQueued();
}

void StreamConnection::closeAfterWriting()
{
    if (fd < 0 || closing)
        return;
    closing = true;
    finishIfDone();
}

void StreamConnection::close()
{
    if (fd < 0)
        return;
    loop.unwatch(fd);
    loop.cancel(pauseTimer);
    pauseTimer = 0;
    ::close(fd);
    fd = -1;
    outbox.clear();
    wantWritable = false;
}

void StreamConnection::onEvents(short revents)
{
    if (revents & POLLOUT)
        sendQueued();
    if (fd >= 0 && (revents & (POLLIN | POLLHUP | POLLERR)))
        receive();
}

void StreamConnection::receive()
{
    std::uint8_t buffer[65536];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
        onData(buffer, static_cast<std::size_t>(got));
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
        return;
    const int error = got < 0 ? errno : 0;
    close();
    onEnd(got == 0 ? End::PeerClosed : End::Failed, error);
}

void StreamConnection::sendQueued()
{
    while (fd >= 0 && !outbox.empty()) {
        Chunk &chunk = outbox.front();
        if (!chunk.pauseOver) {
            if (pauseTimer == 0) {
                pauseTimer = loop.after(chunk.pauseBefore, [this] {
                    pauseTimer = 0;
                    if (!outbox.empty())
                        outbox.front().pauseOver = true;
                    sendQueued();
                });
            }
            break;
        }
        const ssize_t sent = ::send(fd, chunk.bytes.data() + chunk.sent, chunk.bytes.size() - chunk.sent,
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)
                break;
            const int error = errno;
            close();
            reportLater(End::Failed, error);
            return;
        }
        chunk.sent += static_cast<std::size_t>(sent);
        if (chunk.sent < chunk.bytes.size())
            break;
        outbox.pop_front();
    }
    updateInterest();
    finishIfDone();
}

void StreamConnection::updateInterest()
{
    if (fd < 0)
        return;
    const bool blocked = !outbox.empty() && outbox.front().pauseOver;
    if (blocked != wantWritable) {
        wantWritable = blocked;
        loop.changeEvents(fd, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)));
    }
}

void StreamConnection::finishIfDone()
{
    if (fd < 0 || !closing || !outbox.empty())
        return;
    close();
    reportLater(End::Finished, 0);
}

void StreamConnection::reportLater(End end, int error)
{
    reportTimer = loop.after(std::chrono::milliseconds(0), [this, end, error] {
        reportTimer = 0;
        onEnd(end, error);
    });
}
