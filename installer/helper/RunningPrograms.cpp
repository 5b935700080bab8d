#include "RunningPrograms.h"

#include <tlhelp32.h>

namespace setup_helper {

std::vector<RunningProgram> runningPrograms(const std::wstring &name)
{
    std::vector<RunningProgram> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (lstrcmpiW(entry.szExeFile, name.c_str()) != 0)
            continue;
        RunningProgram program;
        program.process = entry.th32ProcessID;
        program.sessionKnown = ProcessIdToSessionId(entry.th32ProcessID, &program.session) != 0;
        found.push_back(program);
    }
    CloseHandle(snapshot);
    return found;
}

DWORD ownSession()
{
    DWORD session = 0;
    return ProcessIdToSessionId(GetCurrentProcessId(), &session) ? session : 0;
}

} // namespace setup_helper
