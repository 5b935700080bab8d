#pragma once

#include "platform/InstanceLock.h"

#include <string>

namespace platform::win32_backend {

// The session's named lock as a named mutex. Its name has no "Global\"
// prefix, so it lives in the logon session's namespace: one copy a session.
// The mutex exists while any handle to it is open; the kernel closes ours
// with the process, so a crashed copy never blocks the next one.
class MutexInstanceLock final : public InstanceLock
{
public:
    explicit MutexInstanceLock(const std::string &name);
    ~MutexInstanceLock() override;

    MutexInstanceLock(const MutexInstanceLock &) = delete;
    MutexInstanceLock &operator=(const MutexInstanceLock &) = delete;

    Outcome acquire() override;
    void release() override;

private:
    std::wstring mutexName;
    void *handle = nullptr;
};

} // namespace platform::win32_backend
