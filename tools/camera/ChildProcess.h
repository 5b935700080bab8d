#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace camera_standin {

// The program run under the testbed. It inherits our environment (with
// UMOCKDEV_DIR and the preload set by the caller), reads /dev/null instead
// of our commands, and leads a process group of its own, so that stopping it
// also stops what it started in its group.
class ChildProcess
{
public:
    ~ChildProcess();

    // False with error set when the program cannot be started.
    bool start(const std::vector<std::string> &argv, int &error);
    bool running() const { return pid > 0; }
    pid_t processId() const { return pid; }

    // After SIGCHLD: the wait status once the child has ended.
    std::optional<int> reap();
    // SIGTERM to the group, then SIGKILL once grace has passed; returns the
    // wait status.
    std::optional<int> stop(std::chrono::milliseconds grace);

    // "status=0", "signal=15": a wait status for event lines.
    static std::string describe(int status);
    // The exit code a shell would give: the status, or 128 + the signal.
    static int exitCode(int status);

private:
    pid_t pid = -1;
};

} // namespace camera_standin
