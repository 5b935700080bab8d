#include "Win32Processes.h"

#include "ComApartment.h"
#include "ProcessSession.h"
#include "WideText.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <climits>
#include <vector>

namespace platform::win32_backend {

Win32Processes::Win32Processes(SessionLookup lookup, std::function<SoftwareFolders()> folders)
    : sessionOf(std::move(lookup)), folders(std::move(folders))
{
}

bool Win32Processes::isProcessRunning(const std::string &exeName, bool &running)
{
    running = false;
    // Our own session and the others' from the same look at the system.
    const SessionLookup lookup = sessionOf ? sessionOf : sessionsNow();
    const std::optional<DWORD> ownSessionId = lookup(GetCurrentProcessId());
    if (!ownSessionId)
        return false;
    const auto found = processesNamed(widen(exeName), lookup);
    if (!found)
        return false;
    running = std::any_of(found->begin(), found->end(), [&ownSessionId](const NamedProcess &process) {
        return process.session && *process.session == *ownSessionId;
    });
    return true;
}

std::wstring Win32Processes::locateProgram(const std::wstring &name) const
{
    if (hasFolder(name))
        return isAbsolutePath(name) && isFile(name) ? name : std::wstring();
    return firstExistingFile(programCandidates(name, registeredAppPath(name), folders()));
}

bool Win32Processes::startDetached(const std::string &program)
{
    const std::wstring name = widen(program);
    const std::wstring directory = folders().programFolder;
    if (name.empty() || hasFolder(name) || directory.empty())
        return false;
    const std::wstring path = directory + L"\\" + name;
    if (!isFile(path))
        return false;

    // CreateProcessW may write into the command line, so it gets a copy.
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    // No console and no inherited handles: the program outlives us and must
    // not keep our sockets or our single-instance mutex alive.
    if (!CreateProcessW(path.c_str(), commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

int Win32Processes::shellExecute(const std::string &verb, const std::string &file)
{
    // Resolved here, not by the shell, whose search takes in the current
    // folder and PATH; "runas" would run a program planted there elevated.
    const std::wstring path = locateProgram(widen(file));
    if (path.empty())
        return SE_ERR_FNF;
    // The shell may hand the request to extensions that need COM on this
    // thread (the dispatch thread has none of its own).
    const ComApartment com;
    const HINSTANCE result = ShellExecuteW(nullptr, widen(verb).c_str(), path.c_str(), nullptr, nullptr,
                                           SW_SHOWNORMAL);
    // Not a real instance handle: a result code, above 32 on success.
    const INT_PTR code = reinterpret_cast<INT_PTR>(result);
    return code > INT_MAX ? INT_MAX : static_cast<int>(code);
}

bool Win32Processes::openWebPage(const std::string &url)
{
    const ComApartment com;
    const HINSTANCE result = ShellExecuteW(nullptr, L"open", widen(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace platform::win32_backend
