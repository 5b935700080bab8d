#include "LinuxHidDevice.h"

#include "LinuxLog.h"

#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace platform::linux_backend {

namespace {

using Clock = std::chrono::steady_clock;

// The errors with which hidraw says that the device has left.
bool meansGone(int error)
{
    return error == EIO || error == ENODEV || error == ENXIO || error == EPIPE;
}

// Leaves the reader count however read() returns.
class TicketGuard
{
public:
    TicketGuard(ReadInterrupter &interrupter, ReadInterrupter::Ticket ticket)
        : interrupter(interrupter), ticket(ticket)
    {
    }
    ~TicketGuard() { interrupter.leave(ticket); }
    TicketGuard(const TicketGuard &) = delete;
    TicketGuard &operator=(const TicketGuard &) = delete;

    ReadInterrupter &interrupter;
    const ReadInterrupter::Ticket ticket;
};

} // namespace

LinuxHidDevice::LinuxHidDevice(int fd, std::string node, std::optional<HidReportLayout> layout)
    : fd(fd), node(std::move(node)), layout(layout)
{
}

LinuxHidDevice::~LinuxHidDevice()
{
    ::close(fd);
}

bool LinuxHidDevice::attributes(std::uint16_t &vendorId, std::uint16_t &productId)
{
    if (interrupter.isClosed())
        return false;
    hidraw_devinfo info{};
    if (::ioctl(fd, HIDIOCGRAWINFO, &info) < 0) {
        logOnce("HIDIOCGRAWINFO", errno);
        return false;
    }
    vendorId = static_cast<std::uint16_t>(info.vendor);
    productId = static_cast<std::uint16_t>(info.product);
    return true;
}

HidDevice::CapsStatus LinuxHidDevice::inputReportLength(std::size_t &length)
{
    // The layout comes from the report descriptor read at open: without it
    // there is nothing to take the capabilities from.
    if (interrupter.isClosed() || !layout)
        return CapsStatus::NoDescriptor;
    length = layout->windowsInputReportLength();
    return CapsStatus::Read;
}

bool LinuxHidDevice::write(const std::uint8_t *data, std::size_t size)
{
    if (interrupter.isClosed())
        return false;
    if (!data || size == 0) {
        qCWarning(linuxPlatformLog) << "hidraw: refusing an empty output report for" << node.c_str();
        return false;
    }
    // Output reports start with the report ID on both systems (0 for a
    // device without IDs), which is just what hidraw expects.
    ssize_t written;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
    if (written < 0) {
        logOnce("write", errno);
        return false;
    }
    if (static_cast<std::size_t>(written) != size) {
        qCWarning(linuxPlatformLog) << "hidraw: short write to" << node.c_str() << written << "of" << size;
        return false;
    }
    return true;
}

HidDevice::ReadStatus LinuxHidDevice::read(std::uint8_t *buffer, std::size_t size, int timeoutMs,
                                           std::size_t &received)
{
    received = 0;
    const std::optional<ReadInterrupter::Ticket> ticket = interrupter.enter();
    if (!ticket)
        return ReadStatus::Gone;
    const TicketGuard guard(interrupter, *ticket);
    // Without report IDs hidraw's data goes behind the 0 we put in front, so
    // the buffer needs room for that byte and at least one more.
    const std::size_t smallest = (!layout || !layout->usesReportIds) ? 2 : 1;
    if (!buffer || size < smallest) {
        qCWarning(linuxPlatformLog) << "hidraw: a buffer of" << size << "bytes holds no report from" << node.c_str();
        return ReadStatus::Failed;
    }
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));

    for (;;) {
        switch (interrupter.check(*ticket)) {
        case ReadInterrupter::Wake::Closed:
            return ReadStatus::Gone;
        case ReadInterrupter::Wake::Cancelled:
            return ReadStatus::Cancelled;
        case ReadInterrupter::Wake::None:
            break;
        }
        int waitMs = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
            waitMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {interrupter.fd(), POLLIN, 0}};
        const int ready = ::poll(fds, 2, waitMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            logOnce("poll", errno);
            return ReadStatus::Failed;
        }
        if (ready == 0)
            return ReadStatus::TimedOut;
        if (fds[1].revents != 0) {
            // Woken for another reader's cancel, which that reader is about
            // to clear; let it run and look again.
            if (interrupter.check(*ticket) == ReadInterrupter::Wake::None)
                std::this_thread::yield();
            continue;
        }
        if (fds[0].revents & POLLIN) {
            ReadStatus status = ReadStatus::Failed;
            if (readReport(buffer, size, received, status) == Attempt::Again)
                continue;
            return status;
        }
        if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
            return gone();
    }
}

LinuxHidDevice::Attempt LinuxHidDevice::readReport(std::uint8_t *buffer, std::size_t size,
                                                   std::size_t &received, ReadStatus &status)
{
    // Unknown layout: the descriptor could not be read, so the device is
    // treated as one without report IDs, the common case.
    const bool prependId = !layout || !layout->usesReportIds;
    std::uint8_t *target = buffer;
    std::size_t room = size;
    if (prependId) {
        buffer[0] = 0;
        ++target;
        --room;
    }
    const ssize_t got = ::read(fd, target, room);
    if (got < 0) {
        const int error = errno;
        if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR)
            return Attempt::Again;
        if (meansGone(error)) {
            status = gone();
            return Attempt::Done;
        }
        logOnce("read", error);
        status = ReadStatus::Failed;
        return Attempt::Done;
    }
    if (got == 0) {
        status = gone();
        return Attempt::Done;
    }
    lastLoggedError.store(0, std::memory_order_relaxed);
    received = static_cast<std::size_t>(got) + (prependId ? 1 : 0);
    status = ReadStatus::Data;
    return Attempt::Done;
}

void LinuxHidDevice::cancelIo()
{
    interrupter.cancel();
}

void LinuxHidDevice::close()
{
    interrupter.close();
}

// The device left (not close()): said once, as the owner may keep polling.
HidDevice::ReadStatus LinuxHidDevice::gone()
{
    if (!goneLogged.exchange(true, std::memory_order_relaxed))
        qCInfo(linuxPlatformLog) << "hidraw:" << node.c_str() << "is gone";
    return ReadStatus::Gone;
}

// A device that keeps failing would otherwise write the same line on every
// poll; one line per distinct error is enough to diagnose it.
void LinuxHidDevice::logOnce(const char *what, int error)
{
    if (lastLoggedError.exchange(error, std::memory_order_relaxed) == error)
        return;
    qCWarning(linuxPlatformLog).nospace() << "hidraw: " << what << " on " << node.c_str()
                                          << " failed: " << std::strerror(error) << " (" << error << ")";
}

} // namespace platform::linux_backend
