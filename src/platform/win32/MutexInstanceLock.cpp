#include "MutexInstanceLock.h"

#include "WideText.h"

#include <windows.h>

namespace platform::win32_backend {

MutexInstanceLock::MutexInstanceLock(const std::string &name)
    : mutexName(widen(name))
{
}

MutexInstanceLock::~MutexInstanceLock()
{
    release();
}

InstanceLock::Outcome MutexInstanceLock::acquire()
{
    if (handle)
        return Outcome::Acquired;
    // Not initially owned: the lock is the mutex's existence, not its
    // ownership, which would tie it to the thread that asked.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName.c_str());
    if (!mutex || mutex == INVALID_HANDLE_VALUE)
        return Outcome::Failed;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        // We got a handle to the other copy's mutex: keeping it would keep
        // that mutex alive after the other copy ends.
        CloseHandle(mutex);
        return Outcome::AlreadyHeld;
    }
    handle = mutex;
    return Outcome::Acquired;
}

void MutexInstanceLock::release()
{
    if (!handle)
        return;
    CloseHandle(handle);
    handle = nullptr;
}

} // namespace platform::win32_backend
