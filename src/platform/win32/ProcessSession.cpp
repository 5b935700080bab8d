#include "ProcessSession.h"

#include <tlhelp32.h>
#include <winternl.h>
#include <wtsapi32.h>

#include <memory>

namespace platform::win32_backend {

namespace {

void addDocumentedList(SessionSnapshot &snapshot)
{
    WTS_PROCESS_INFOW *processes = nullptr;
    DWORD count = 0;
    if (!WTSEnumerateProcessesW(WTS_CURRENT_SERVER_HANDLE, 0, 1, &processes, &count))
        return;
    for (DWORD i = 0; i < count; ++i)
        snapshot.add(processes[i].ProcessId, processes[i].SessionId);
    WTSFreeMemory(processes);
}

// The list grows between asking for its size and reading it: a list that
// keeps outgrowing its buffer is given up on.
constexpr int ProcessListReadAttempts = 4;
constexpr ULONG SpareBytes = 64 * 1024;

void addSystemList(SessionSnapshot &snapshot)
{
    // ULONGLONGs keep the buffer aligned for the records the system writes.
    std::vector<ULONGLONG> buffer(64 * 1024 / sizeof(ULONGLONG));
    for (int attempt = 0; attempt < ProcessListReadAttempts; ++attempt) {
        const ULONG size = static_cast<ULONG>(buffer.size() * sizeof(ULONGLONG));
        ULONG needed = 0;
        const NTSTATUS status = NtQuerySystemInformation(SystemProcessInformation, buffer.data(), size, &needed);
        if (NT_SUCCESS(status)) {
            const auto *bytes = reinterpret_cast<const unsigned char *>(buffer.data());
            for (ULONG offset = 0;;) {
                if (offset > size - sizeof(SYSTEM_PROCESS_INFORMATION))
                    return;
                const auto *process = reinterpret_cast<const SYSTEM_PROCESS_INFORMATION *>(bytes + offset);
                snapshot.add(static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(process->UniqueProcessId)),
                             process->SessionId);
                if (process->NextEntryOffset == 0)
                    return;
                offset += process->NextEntryOffset;
            }
        }
        if (needed == 0 || needed > 64 * 1024 * 1024)
            return;
        buffer.assign((needed + SpareBytes) / sizeof(ULONGLONG) + 1, 0);
    }
}

} // namespace

SessionSnapshot SessionSnapshot::take()
{
    SessionSnapshot snapshot;
    addDocumentedList(snapshot);
    // Adds only the processes the first list left out.
    addSystemList(snapshot);
    return snapshot;
}

std::optional<DWORD> SessionSnapshot::sessionOf(DWORD processId) const
{
    const auto found = sessions.find(processId);
    if (found == sessions.end())
        return std::nullopt;
    return found->second;
}

SessionLookup sessionsNow()
{
    auto snapshot = std::make_shared<const SessionSnapshot>(SessionSnapshot::take());
    return [snapshot](DWORD processId) { return snapshot->sessionOf(processId); };
}

std::optional<DWORD> sessionOfProcess(DWORD processId)
{
    return SessionSnapshot::take().sessionOf(processId);
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
    // Taken after the process list: a process listed there is in it too,
    // unless it has ended since.
    const SessionLookup lookup = sessionOf ? sessionOf : sessionsNow();
    std::vector<NamedProcess> found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        // szExeFile is the executable's file name without its folder.
        if (lstrcmpiW(entry.szExeFile, exeName.c_str()) == 0)
            found.push_back({entry.th32ProcessID, lookup(entry.th32ProcessID)});
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
