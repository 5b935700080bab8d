#include "ProcessSession.h"

#include <tlhelp32.h>

namespace platform::win32_backend {

std::optional<DWORD> sessionOfProcess(DWORD processId)
{
    DWORD session = 0;
    if (!ProcessIdToSessionId(processId, &session))
        return std::nullopt;
    return session;
}

std::optional<DWORD> ownSession()
{
    return sessionOfProcess(GetCurrentProcessId());
}

std::optional<std::vector<NamedProcess>> processesNamed(const std::wstring &exeName, const SessionLookup &sessionOf)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::vector<NamedProcess> found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        // szExeFile is the executable's file name without its folder.
        if (lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0)
            found.push_back({entry.th32ProcessID, sessionOf(entry.th32ProcessID)});
    }
    // The walk ends with this error when it has seen every process; any
    // other error means the list was cut short.
    const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
    CloseHandle(snapshot);
    if (!complete)
        return std::nullopt;
    return found;
}

} // namespace platform::win32_backend
