#pragma once

#include "ProcessSession.h"
#include "platform/Processes.h"

#include <windows.h>

#include <optional>
#include <string>

namespace platform::win32_backend {

// The process list through a Toolhelp snapshot, detached starts through
// CreateProcessW, and the shell's "open"/"runas" through ShellExecuteW.
class Win32Processes final : public Processes
{
public:
    // Tests hand in their own idea of which session a process runs in.
    explicit Win32Processes(SessionLookup sessionOf = {});

    // Counts only processes of our own logon session: another user's viewer
    // must not stand for ours. A process whose session cannot be read does
    // not count; when our own cannot be read, none can be told to be ours
    // and the result is false, as for a list that cannot be read.
    bool isProcessRunning(const std::string &exeName, bool &running) override;
    bool startDetached(const std::string &program) override;
    int shellExecute(const std::string &verb, const std::string &file) override;

    // The folder of the running program, without a trailing separator;
    // empty when it cannot be told.
    static std::wstring programDirectory();
    // The full path of a program: beside the running program first, then
    // the system's search (folders of the system, then PATH). Empty when
    // not found.
    static std::wstring findProgram(const std::wstring &name);

private:
    SessionLookup sessionOf;
    // Taken once: a process stays in the session it started in.
    std::optional<DWORD> ownSessionId;
};

} // namespace platform::win32_backend
