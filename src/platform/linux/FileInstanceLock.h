#pragma once

#include "platform/InstanceLock.h"

#include <string>

namespace platform::linux_backend {

// The session's named lock as an flock on a file in the user's runtime
// directory, else in the user's state folder (created for this user alone).
// The kernel drops the lock with the process, so a crashed copy never blocks
// the next one. A folder that others may write to, or a lock file that is not
// this user's, is refused: acquire() then fails and says why.
class FileInstanceLock final : public InstanceLock
{
public:
    explicit FileInstanceLock(const std::string &name);
    ~FileInstanceLock() override;

    Outcome acquire() override;
    void release() override;

    const std::string &path() const { return lockPath; }

private:
    std::string lockName;
    std::string folder; // empty when no folder is known
    bool createFolder = false;
    std::string lockPath;
    int descriptor = -1;
};

} // namespace platform::linux_backend
