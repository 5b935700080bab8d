#pragma once

#include "platform/Processes.h"

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace platform::linux_backend {

// The process list from /proc; programs started detached in a session of
// their own, so that they outlive the watchdog and leave no zombie behind.
// What is opened for the user (the viewer, the browser) also gets a systemd
// user scope of its own where there is a user systemd (see UserScope).
class LinuxProcesses final : public Processes
{
public:
    bool isProcessRunning(const std::string &exeName, bool &running) override;
    bool startDetached(const std::string &program) override;
    int shellExecute(const std::string &verb, const std::string &file) override;
    // Through xdg-open, which hands the page to the desktop's browser.
    bool openWebPage(const std::string &url) override;

    // Runs with the pid of the started program while it waits to exec, so
    // that it can be placed before it runs (and before it can fork).
    using BeforeExec = std::function<void(pid_t)>;

    // Starts argv[0] (a full path) detached, with default signal handling,
    // no blocked signals, and without the watchdog's own
    // TESSEL_WATCHDOG_SUPERVISED in its environment. Returns 0 when the
    // program runs, else the errno of the failed start.
    static int spawnDetached(const std::vector<std::string> &argv, const BeforeExec &beforeExec = {});

private:
    static void placeInOwnScope(pid_t pid, const std::string &name);
};

} // namespace platform::linux_backend
