#pragma once

#include "platform/Processes.h"

#include <string>
#include <vector>

namespace platform::linux_backend {

// The process list from /proc; programs started detached in a session of
// their own, so that they outlive the watchdog and leave no zombie behind.
class LinuxProcesses final : public Processes
{
public:
    bool isProcessRunning(const std::string &exeName, bool &running) override;
    bool startDetached(const std::string &program) override;
    int shellExecute(const std::string &verb, const std::string &file) override;

    // Starts argv[0] (a full path) detached. Returns 0 when the program runs,
    // else the errno of the failed start.
    static int spawnDetached(const std::vector<std::string> &argv);
};

} // namespace platform::linux_backend
