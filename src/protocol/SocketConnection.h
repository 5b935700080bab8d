#pragma once

#include "platform/Net.h"

#include <atomic>
#include <cstddef>

// One connected socket shared by the threads that use it. The descriptor is
// closed only when the last user lets go, so a thread that is still inside a
// receive never finds its descriptor reused by another connection; another
// thread ends the connection with shutdown(), which wakes that receive.
class SocketConnection
{
public:
    explicit SocketConnection(platform::net::SocketHandle handle);
    ~SocketConnection();

    SocketConnection(const SocketConnection &) = delete;
    SocketConnection &operator=(const SocketConnection &) = delete;

    platform::net::SocketHandle handle() const { return socket; }

    // One receive call: bytes received, 0 when closed, -1 on an error.
    long receiveSome(void *buffer, std::size_t size);
    // Sends every byte. After a failed or partial send the stream is out of
    // step, so the connection is shut down.
    bool sendAll(const void *data, std::size_t size);

    // Ends the connection for every user; a blocked receive returns at once.
    void shutdown();
    bool isShutDown() const { return shutDown; }

private:
    const platform::net::SocketHandle socket;
    std::atomic<bool> shutDown{false};
};
