#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

namespace platform::linux_backend {

// Wakes threads blocked in poll() on a device: an eventfd that readers put
// in their poll set. cancel() wakes the reads in progress once (the way
// CancelIo cancels only pending I/O); close() wakes every read for good.
class ReadInterrupter
{
public:
    enum class Wake { None, Cancelled, Closed };

    // What one read remembers between entering and leaving.
    struct Ticket
    {
        std::uint64_t generation;
    };

    ReadInterrupter();
    ~ReadInterrupter();
    ReadInterrupter(const ReadInterrupter &) = delete;
    ReadInterrupter &operator=(const ReadInterrupter &) = delete;

    // False when the eventfd could not be created; errno tells why.
    bool valid() const { return eventFd >= 0; }
    int fd() const { return eventFd; }

    // A reader enters before it polls and leaves when it is done; nothing
    // when the device is already closed.
    std::optional<Ticket> enter();
    void leave(const Ticket &ticket);
    // Why the eventfd woke this reader, if it concerns it.
    Wake check(const Ticket &ticket);

    void cancel();
    void close();
    bool isClosed();

private:
    void signal();
    void drain();

    const int eventFd;
    std::mutex mutex;
    std::uint64_t generation = 0;
    int readers = 0;
    bool closed = false;
};

} // namespace platform::linux_backend
