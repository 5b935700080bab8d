#pragma once

#include "platform/Hid.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace platform::win32_backend {

// Reads and writes on a handle opened with FILE_FLAG_OVERLAPPED, so that a
// read can wait with a time-out and be woken from another thread: the read
// waits on its own I/O event together with a cancel event and a closed
// event, and cancels its I/O with CancelIoEx when either of those or the
// time-out ends the wait. Synchronous I/O could only be woken by closing
// the handle under the reader's feet.
//
// cancel() wakes the reads in progress, each through a cancel event of its
// own, and no read that starts later, as CancelIo ends only pending I/O: a
// cancel kept for the next read would fail it, and that read may be another
// thread's wait for the answer to a button report.
//
// Owns the handle; the destructor closes it. Any thread may call any
// operation, but the object must outlive the calls in progress.
class OverlappedIo
{
public:
    using Status = HidDevice::ReadStatus;

    explicit OverlappedIo(void *handle);
    ~OverlappedIo();

    OverlappedIo(const OverlappedIo &) = delete;
    OverlappedIo &operator=(const OverlappedIo &) = delete;

    Status read(std::uint8_t *buffer, std::size_t size, int timeoutMs, std::size_t &received);
    // Writes all of data, waiting at most timeoutMs (-1: no limit). A write
    // is ended only by its time-out or close(), not by cancel().
    bool write(const std::uint8_t *data, std::size_t size, int timeoutMs);

    void cancel();
    // Ends the I/O in progress and refuses every later read or write.
    void close();
    bool isClosed() const { return closed; }

    // The handle, for calls other than reads and writes (HidD_*).
    void *handle() const { return device; }

    // What a failed read or write means for the device.
    static Status statusForError(unsigned long error);

private:
    class ReadInProgress;

    void *device;
    void *closedEvent; // manual-reset: stays set once closed
    std::mutex readsMutex;
    std::vector<void *> readCancelEvents; // one per read in progress
    std::atomic<bool> closed{false};
};

} // namespace platform::win32_backend
