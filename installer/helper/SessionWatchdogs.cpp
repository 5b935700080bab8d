#include "SessionWatchdogs.h"

#include "RunningPrograms.h"
#include "Win32SessionEnd.h"

#include <windows.h>

#include <vector>

namespace setup_helper {

namespace {

constexpr const wchar_t *Watchdog = L"tesselwatchdogapplication.exe";
constexpr UINT AnswerTimeoutMs = 5000;
constexpr DWORD EndTimeoutMs = 10000;
constexpr int Rounds = 5;
constexpr DWORD RoundPauseMs = 1000;

// The session-end windows on this session's desktop that belong to a
// watchdog (the class is the platform layer's, which other programs of
// ours may use as well).
std::vector<HWND> watchdogWindows()
{
    std::vector<HWND> windows;
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, platform::win32_backend::Win32SessionEnd::ClassName,
                                   nullptr))) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        for (const RunningProgram &watchdog : runningPrograms(Watchdog)) {
            if (watchdog.process == process)
                windows.push_back(window);
        }
    }
    return windows;
}

void endWatchdog(HWND window, std::FILE *out)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, processId);
    if (!process) {
        std::fprintf(out, "watchdog %lu cannot be waited for (error %lu)\n", processId, GetLastError());
        return;
    }
    DWORD_PTR answer = 0;
    SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, AnswerTimeoutMs,
                        &answer);
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, AnswerTimeoutMs,
                        nullptr);
    if (WaitForSingleObject(process, EndTimeoutMs) == WAIT_OBJECT_0)
        std::fprintf(out, "watchdog %lu ended\n", processId);
    else if (TerminateProcess(process, 1) && WaitForSingleObject(process, EndTimeoutMs) == WAIT_OBJECT_0)
        std::fprintf(out, "watchdog %lu did not end: ended by force\n", processId);
    else
        std::fprintf(out, "watchdog %lu cannot be ended (error %lu)\n", processId, GetLastError());
    CloseHandle(process);
}

} // namespace

bool endSessionWatchdogs(std::FILE *out)
{
    const DWORD session = ownSession();
    std::vector<RunningProgram> left;
    int others = 0;
    for (int round = 0; round < Rounds; ++round) {
        for (const HWND window : watchdogWindows())
            endWatchdog(window, out);
        left.clear();
        others = 0;
        for (const RunningProgram &watchdog : runningPrograms(Watchdog)) {
            if (watchdog.sessionKnown && watchdog.session == session)
                left.push_back(watchdog);
            else
                ++others;
        }
        if (left.empty())
            break;
        // A copy that is just starting has no window to ask yet.
        Sleep(RoundPauseMs);
    }
    for (const RunningProgram &watchdog : left)
        std::fprintf(out, "watchdog %lu of this session is still running\n", watchdog.process);
    if (others > 0)
        std::fprintf(out, "%d watchdog(s) of other sessions keep running until their users log off\n", others);
    return left.empty();
}

} // namespace setup_helper
