#include "OverlappedIo.h"

#include <windows.h>

namespace platform::win32_backend {

namespace {

DWORD waitTime(int timeoutMs)
{
    return timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
}

// An event of one read or write, closed with it.
class OperationEvent
{
public:
    OperationEvent() : event(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~OperationEvent()
    {
        if (event)
            CloseHandle(event);
    }
    OperationEvent(const OperationEvent &) = delete;
    OperationEvent &operator=(const OperationEvent &) = delete;

    HANDLE event;
};

} // namespace

// Makes a read's cancel event known to cancel() while the read runs.
class OverlappedIo::ReadInProgress
{
public:
    ReadInProgress(OverlappedIo &io, HANDLE cancelEvent) : io(io), cancelEvent(cancelEvent)
    {
        std::lock_guard lock(io.readsMutex);
        io.readCancelEvents.push_back(cancelEvent);
    }
    ~ReadInProgress()
    {
        std::lock_guard lock(io.readsMutex);
        std::erase(io.readCancelEvents, cancelEvent);
    }
    ReadInProgress(const ReadInProgress &) = delete;
    ReadInProgress &operator=(const ReadInProgress &) = delete;

private:
    OverlappedIo &io;
    HANDLE cancelEvent;
};

OverlappedIo::OverlappedIo(void *handle)
    : device(handle),
      closedEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

OverlappedIo::~OverlappedIo()
{
    if (device && device != INVALID_HANDLE_VALUE)
        CloseHandle(device);
    if (closedEvent)
        CloseHandle(closedEvent);
}

OverlappedIo::Status OverlappedIo::statusForError(unsigned long error)
{
    switch (error) {
    case ERROR_OPERATION_ABORTED:
        return Status::Cancelled;
    case ERROR_DEVICE_NOT_CONNECTED: // a HID device unplugged under a read
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_REMOVED:
    case ERROR_INVALID_HANDLE:
    case ERROR_BROKEN_PIPE: // the other end of a pipe went away
    case ERROR_PIPE_NOT_CONNECTED:
    case ERROR_HANDLE_EOF:
        return Status::Gone;
    default:
        return Status::Failed;
    }
}

OverlappedIo::Status OverlappedIo::read(std::uint8_t *buffer, std::size_t size, int timeoutMs,
                                        std::size_t &received)
{
    received = 0;
    if (closed)
        return Status::Gone;
    if (!buffer || size == 0 || size > MAXDWORD || !closedEvent)
        return Status::Failed;
    const OperationEvent io;
    const OperationEvent cancelled;
    if (!io.event || !cancelled.event)
        return Status::Failed;
    const ReadInProgress inProgress(*this, cancelled.event);

    OVERLAPPED operation{};
    operation.hEvent = io.event;
    if (!ReadFile(device, buffer, static_cast<DWORD>(size), nullptr, &operation)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
            return closed ? Status::Gone : statusForError(error);
    }

    // The I/O event comes first: a report that is already there is taken
    // even when a cancel is pending too.
    const HANDLE waits[] = {io.event, closedEvent, cancelled.event};
    const DWORD woke = WaitForMultipleObjects(3, waits, FALSE, waitTime(timeoutMs));
    Status interrupted = Status::Data;
    if (woke != WAIT_OBJECT_0) {
        interrupted = woke == WAIT_OBJECT_0 + 1   ? Status::Gone
                      : woke == WAIT_OBJECT_0 + 2 ? Status::Cancelled
                      : woke == WAIT_TIMEOUT      ? Status::TimedOut
                                                  : Status::Failed;
        CancelIoEx(device, &operation);
    }
    // The system may write into buffer and operation until the read is
    // over, cancelled or not: wait for that before either goes away.
    DWORD got = 0;
    const BOOL completed = GetOverlappedResult(device, &operation, &got, TRUE);
    const DWORD error = completed ? ERROR_SUCCESS : GetLastError();

    if (closed)
        return Status::Gone;
    if (completed) {
        // A report that arrived while we were being woken is not dropped.
        received = got;
        return Status::Data;
    }
    if (error == ERROR_OPERATION_ABORTED && interrupted != Status::Data)
        return interrupted;
    return statusForError(error);
}

bool OverlappedIo::write(const std::uint8_t *data, std::size_t size, int timeoutMs)
{
    if (closed || !data || size == 0 || size > MAXDWORD || !closedEvent)
        return false;
    const OperationEvent io;
    if (!io.event)
        return false;

    OVERLAPPED operation{};
    operation.hEvent = io.event;
    if (!WriteFile(device, data, static_cast<DWORD>(size), nullptr, &operation)
        && GetLastError() != ERROR_IO_PENDING)
        return false;

    const HANDLE waits[] = {io.event, closedEvent};
    if (WaitForMultipleObjects(2, waits, FALSE, waitTime(timeoutMs)) != WAIT_OBJECT_0)
        CancelIoEx(device, &operation);
    DWORD written = 0;
    const BOOL completed = GetOverlappedResult(device, &operation, &written, TRUE);
    return completed && written == size && !closed;
}

void OverlappedIo::cancel()
{
    std::lock_guard lock(readsMutex);
    for (void *event : readCancelEvents)
        SetEvent(event);
}

void OverlappedIo::close()
{
    closed = true;
    if (closedEvent)
        SetEvent(closedEvent);
    // Also ends a write waiting in another thread, and any I/O that slipped
    // in between the check of `closed` and its ReadFile.
    CancelIoEx(device, nullptr);
}

} // namespace platform::win32_backend
