#include "TestViewer.h"

#include "protocol/Channel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace {

// Waits for data; on the main thread the event loop keeps running meanwhile,
// so that queued signals (camera buttons) are delivered while a test waits.
bool waitReadable(int socket, int timeoutMs)
{
    const bool mainThread = QCoreApplication::instance()
                            && QThread::currentThread() == QCoreApplication::instance()->thread();
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        pollfd entry{socket, POLLIN, 0};
        const int slice = mainThread ? std::min<int>(10, static_cast<int>(deadline.remainingTime()))
                                     : static_cast<int>(deadline.remainingTime());
        if (::poll(&entry, 1, std::max(slice, 0)) > 0)
            return true;
        if (deadline.hasExpired())
            return false;
        if (mainThread)
            QCoreApplication::processEvents();
    }
}

} // namespace

TestViewer::TestViewer(std::uint16_t port) : TestViewer(protocol::ChannelAddress::loopbackTcp(port))
{
}

TestViewer::TestViewer(const protocol::ChannelAddress &address)
{
    QDeadlineTimer deadline(2000);
    do {
        const auto candidate = protocol::channel::openSocket(address);
        if (protocol::channel::connect(candidate, address)) {
            socket = static_cast<int>(candidate);
            return;
        }
        ::close(static_cast<int>(candidate));
        QThread::msleep(20);
    } while (!deadline.hasExpired());
}

TestViewer::~TestViewer()
{
    close();
}

bool TestViewer::sendBytes(const void *data, std::size_t size)
{
    const auto *bytes = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const ssize_t sent = ::send(socket, bytes, size, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool TestViewer::send(const WatchdogMessage &message)
{
    const auto bytes = message.encode();
    return sendBytes(bytes.data(), bytes.size());
}

bool TestViewer::sendRequest(std::int32_t command, std::uint8_t state)
{
    WatchdogMessage message;
    message.request = 1;
    message.command = command;
    message.state = state;
    return send(message);
}

std::optional<WatchdogMessage::Bytes> TestViewer::receiveBytes(int timeoutMs)
{
    WatchdogMessage::Bytes bytes{};
    std::size_t received = 0;
    QDeadlineTimer deadline(timeoutMs);
    while (received < bytes.size()) {
        const int left = static_cast<int>(deadline.remainingTime());
        if (left <= 0 || !waitReadable(socket, left))
            return std::nullopt;
        const ssize_t got = ::recv(socket, bytes.data() + received, bytes.size() - received, 0);
        if (got <= 0)
            return std::nullopt;
        received += static_cast<std::size_t>(got);
    }
    return bytes;
}

std::optional<WatchdogMessage> TestViewer::receive(int timeoutMs)
{
    const auto bytes = receiveBytes(timeoutMs);
    if (!bytes)
        return std::nullopt;
    return WatchdogMessage::decode(*bytes);
}

bool TestViewer::silentFor(int milliseconds)
{
    return !waitReadable(socket, milliseconds);
}

bool TestViewer::closedByPeer(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    unsigned char byte;
    while (!deadline.hasExpired()) {
        if (!waitReadable(socket, static_cast<int>(deadline.remainingTime())))
            return false;
        const ssize_t got = ::recv(socket, &byte, 1, 0);
        if (got <= 0)
            return true;
    }
    return false;
}

void TestViewer::shutdownSending()
{
    ::shutdown(socket, SHUT_WR);
}

void TestViewer::close()
{
    if (socket >= 0)
        ::close(socket);
    socket = -1;
}
