#pragma once

#include "platform/InstanceLock.h"

#include <string>

namespace platform::linux_backend {

// The session's named lock as an flock on a file in the user's runtime
// directory. The kernel drops the lock with the process, so a crashed copy
// never blocks the next one.
class FileInstanceLock final : public InstanceLock
{
public:
    explicit FileInstanceLock(const std::string &name);
    ~FileInstanceLock() override;

    Outcome acquire() override;
    void release() override;

    const std::string &path() const { return lockPath; }

private:
    std::string lockPath;
    int descriptor = -1;
};

} // namespace platform::linux_backend
