#include "ReadInterrupter.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace platform::linux_backend {

ReadInterrupter::ReadInterrupter()
    : eventFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

ReadInterrupter::~ReadInterrupter()
{
    if (eventFd >= 0)
        ::close(eventFd);
}

std::optional<ReadInterrupter::Ticket> ReadInterrupter::enter()
{
    std::lock_guard lock(mutex);
    if (closed)
        return std::nullopt;
    ++readers;
    return Ticket{generation};
}

void ReadInterrupter::leave(const Ticket &)
{
    std::lock_guard lock(mutex);
    // The eventfd is reset only when no reader is left: a reader that has
    // not reached poll() yet must still find it set.
    if (--readers == 0 && !closed)
        drain();
}

ReadInterrupter::Wake ReadInterrupter::check(const Ticket &ticket)
{
    std::lock_guard lock(mutex);
    if (closed)
        return Wake::Closed;
    return ticket.generation != generation ? Wake::Cancelled : Wake::None;
}

void ReadInterrupter::cancel()
{
    std::lock_guard lock(mutex);
    if (closed || readers == 0)
        return; // nothing pending: a later read must not see a stale cancel
    ++generation;
    signal();
}

void ReadInterrupter::close()
{
    std::lock_guard lock(mutex);
    if (closed)
        return;
    closed = true;
    signal();
}

bool ReadInterrupter::isClosed()
{
    std::lock_guard lock(mutex);
    return closed;
}

void ReadInterrupter::signal()
{
    const std::uint64_t one = 1;
    while (::write(eventFd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void ReadInterrupter::drain()
{
    std::uint64_t count;
    while (::read(eventFd, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

} // namespace platform::linux_backend
