#pragma once

#include "ProcessSession.h"
#include "ProgramLocations.h"
#include "platform/Processes.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace platform::win32_backend {

// The process list through a Toolhelp snapshot, detached starts through
// CreateProcessW, and the shell's "open"/"runas" through ShellExecuteW.
// Programs are started by absolute path only (ProgramLocations.h).
class Win32Processes final : public Processes
{
public:
    // Tests hand in their own idea of which session a process runs in and
    // where the programs lie.
    explicit Win32Processes(SessionLookup sessionOf = {},
                            std::function<SoftwareFolders()> folders = SoftwareFolders::ofSystem);

    // Counts only processes of our own logon session: another user's viewer
    // must not stand for ours. A process whose session cannot be read does
    // not count; when our own cannot be read, none can be told to be ours
    // and the result is false, as for a list that cannot be read.
    bool isProcessRunning(const std::string &exeName, bool &running) override;
    // Our own programs (the watchdog's fresh copy): beside the running
    // program only.
    bool startDetached(const std::string &program) override;
    // The camera's programs (the viewer): the machine's App Paths entry for
    // the name, the camera software's folder, then our own folder.
    // SE_ERR_FNF when none of them holds it.
    int shellExecute(const std::string &verb, const std::string &file) override;
    // The shell's "open" of the address: the user's default browser.
    bool openWebPage(const std::string &url) override;

    // The absolute path that shellExecute opens for a name; empty when
    // there is none.
    std::wstring locateProgram(const std::wstring &name) const;

private:
    SessionLookup sessionOf;
    std::function<SoftwareFolders()> folders;
};

} // namespace platform::win32_backend
