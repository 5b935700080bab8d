#pragma once

#include "platform/Processes.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

namespace platform::win32_backend {

// The process list through a Toolhelp snapshot, detached starts through
// CreateProcessW, and the shell's "open"/"runas" through ShellExecuteW.
class Win32Processes final : public Processes
{
public:
    using SessionLookup = std::function<std::optional<DWORD>(DWORD processId)>;

    // Tests hand in their own idea of which session a process runs in.
    explicit Win32Processes(SessionLookup sessionOf = {});

    // Counts only processes of our own logon session: another user's viewer
    // must not stand for ours. A process whose session cannot be read does
    // not count.
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
};

} // namespace platform::win32_backend
