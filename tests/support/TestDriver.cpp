#include "TestDriver.h"

#include "protocol/Channel.h"

#include "protocol/LittleEndian.h"
#include "protocol/RequestHeader.h"
#include "protocol/ResponseHeader.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace {

bool receiveAll(int socket, std::uint8_t *buffer, std::size_t size)
{
    while (size > 0) {
        const ssize_t got = ::recv(socket, buffer, size, 0);
        if (got <= 0)
            return false;
        buffer += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace

std::int32_t TestDriver::Request::buttonId() const
{
    return payload.size() >= 4 ? wire::getInt32(payload.data()) : 0;
}

MenuItemRecord TestDriver::Request::menuItem() const
{
    return payload.size() >= MenuItemRecord::Size ? MenuItemRecord::decode(payload.data()) : MenuItemRecord{};
}

TestDriver::TestDriver(std::uint16_t port) : TestDriver(protocol::ChannelAddress::loopbackTcp(port))
{
}

TestDriver::TestDriver(const protocol::ChannelAddress &address) : where(address)
{
    std::string error;
    listener = static_cast<int>(protocol::channel::listen(address, 5, error));
    if (!address.isLocal()) {
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&bound), &length);
        listeningPort = ntohs(bound.sin_port);
    }
    thread = std::thread([this] { serve(); });
}

TestDriver::~TestDriver()
{
    stopping = true;
    ::shutdown(listener, SHUT_RDWR);
    dropConnection();
    thread.join();
    protocol::channel::closeListener(listener, where);
}

void TestDriver::setMode(Mode newMode, std::int32_t fixedValue)
{
    std::lock_guard lock(mutex);
    mode = newMode;
    fixed = fixedValue;
}

void TestDriver::serve()
{
    while (!stopping) {
        pollfd entry{listener, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0)
            continue;
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        {
            std::lock_guard lock(mutex);
            client = connection;
            ++accepted;
        }
        changed.notify_all();
        handle(connection);
        std::lock_guard lock(mutex);
        if (client == connection)
            client = -1;
        ::close(connection);
    }
}

void TestDriver::handle(int connection)
{
    for (;;) {
        std::uint8_t headerBytes[RequestHeader::Size];
        if (!receiveAll(connection, headerBytes, sizeof headerBytes))
            return;
        Request request;
        const RequestHeader header = RequestHeader::decode(headerBytes);
        request.type = header.type;
        request.length = header.length;
        if (header.length < 0 || header.length > 4096)
            return;
        request.payload.resize(static_cast<std::size_t>(header.length));
        if (!receiveAll(connection, request.payload.data(), request.payload.size()))
            return;
        request.wire.assign(headerBytes, headerBytes + sizeof headerBytes);
        request.wire.insert(request.wire.end(), request.payload.begin(), request.payload.end());

        std::int32_t value = 0;
        bool answer = true;
        {
            std::lock_guard lock(mutex);
            switch (mode) {
            case Mode::Normal:
                value = header.type == ADD_OEM_BUTTON ? request.buttonId()
                        : header.type == ADD_MENU_ITEM ? nextMenuId++
                                                        : request.menuItem().itemId;
                break;
            case Mode::Reject:
                value = -1;
                break;
            case Mode::Silent:
                answer = false;
                break;
            case Mode::Fixed:
                value = fixed;
                break;
            }
            received.push_back(std::move(request));
        }
        changed.notify_all();
        if (answer) {
            const auto bytes = ResponseHeader{REQUEST_RESULT, value, 0}.encode();
            ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        }
    }
}

bool TestDriver::waitForConnection(int timeoutMs)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return client >= 0; });
}

bool TestDriver::waitForRequests(std::size_t count, int timeoutMs)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return received.size() >= count; });
}

std::vector<TestDriver::Request> TestDriver::requests() const
{
    std::lock_guard lock(mutex);
    return received;
}

int TestDriver::connections() const
{
    std::lock_guard lock(mutex);
    return accepted;
}

bool TestDriver::sendBytes(const void *data, std::size_t size)
{
    std::lock_guard lock(mutex);
    if (client < 0)
        return false;
    return ::send(client, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size);
}

bool TestDriver::sendMessage(std::int32_t type, std::int32_t value, std::int32_t extraLength)
{
    std::vector<std::uint8_t> bytes;
    const auto header = ResponseHeader{type, value, extraLength}.encode();
    bytes.assign(header.begin(), header.end());
    if (extraLength > 0)
        bytes.resize(bytes.size() + static_cast<std::size_t>(extraLength), 0x5A);
    return sendBytes(bytes.data(), bytes.size());
}

void TestDriver::dropConnection()
{
    std::lock_guard lock(mutex);
    if (client >= 0)
        ::shutdown(client, SHUT_RDWR);
}
