#include "SessionWatchdogs.h"

#include "ProcessSession.h"
#include "Win32SessionEnd.h"

#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace setup_helper {

namespace {

using platform::win32_backend::NamedProcess;
using platform::win32_backend::processesNamed;
using platform::win32_backend::sessionOfProcess;

constexpr const wchar_t *Watchdog = L"tesselwatchdogapplication.exe";
constexpr UINT AnswerTimeoutMs = 5000;
constexpr DWORD EndTimeoutMs = 10000;
constexpr int Rounds = 5;
constexpr DWORD RoundPauseMs = 1000;

struct Watchdogs
{
    std::vector<DWORD> ours;
    int others = 0; // in other sessions, or in one that cannot be read
};

// The watchdogs that run now, from one look at the process list; nothing
// when the list cannot be read.
std::optional<Watchdogs> runningWatchdogs(DWORD session)
{
    const auto found = processesNamed(Watchdog);
    if (!found)
        return std::nullopt;
    Watchdogs watchdogs;
    for (const NamedProcess &process : *found) {
        if (process.session && *process.session == session)
            watchdogs.ours.push_back(process.id);
        else
            ++watchdogs.others;
    }
    return watchdogs;
}

// The session-end windows on this session's desktop that belong to one of
// the watchdogs (the class is the platform layer's, which other programs of
// ours may use as well).
std::vector<HWND> sessionEndWindows(const std::vector<DWORD> &watchdogs)
{
    std::vector<HWND> windows;
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, platform::win32_backend::Win32SessionEnd::ClassName,
                                   nullptr))) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (std::find(watchdogs.begin(), watchdogs.end(), process) != watchdogs.end())
            windows.push_back(window);
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

// Whether the open process is still the watchdog of this session that was
// listed under its id: an id is given again once its process has ended
// (the open handle keeps it from changing from here on).
bool stillOurWatchdog(HANDLE process, DWORD processId, DWORD session)
{
    std::vector<wchar_t> path(32768);
    DWORD length = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &length))
        return false;
    const std::wstring image(path.data(), length);
    const std::size_t separator = image.find_last_of(L"\\/");
    const std::wstring name = separator == std::wstring::npos ? image : image.substr(separator + 1);
    const std::optional<DWORD> current = sessionOfProcess(processId);
    return lstrcmpiW(name.c_str(), Watchdog) == 0 && current && *current == session;
}

// A watchdog of this session that has no session-end window to ask (its
// window could not be made, or it is still starting) after every round is
// ended by force; that starts no fresh copy either.
void endByForce(DWORD processId, DWORD session, std::FILE *out)
{
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                 processId);
    if (!process) {
        std::fprintf(out, "watchdog %lu cannot be ended (error %lu)\n", processId, GetLastError());
        return;
    }
    if (!stillOurWatchdog(process, processId, session))
        std::fprintf(out, "watchdog %lu has ended\n", processId);
    else if (TerminateProcess(process, 1) && WaitForSingleObject(process, EndTimeoutMs) == WAIT_OBJECT_0)
        std::fprintf(out, "watchdog %lu had no window to ask: ended by force\n", processId);
    else
        std::fprintf(out, "watchdog %lu cannot be ended (error %lu)\n", processId, GetLastError());
    CloseHandle(process);
}

} // namespace

bool endSessionWatchdogs(std::FILE *out)
{
    const std::optional<DWORD> session = platform::win32_backend::ownSession();
    if (!session) {
        std::fprintf(out, "the session of this process cannot be read\n");
        return false;
    }
    std::optional<Watchdogs> watchdogs = runningWatchdogs(*session);
    for (int round = 0; round < Rounds && watchdogs && !watchdogs->ours.empty(); ++round) {
        const std::vector<HWND> windows = sessionEndWindows(watchdogs->ours);
        for (const HWND window : windows)
            endWatchdog(window, out);
        // A copy that is just starting has no window to ask yet.
        if (windows.empty())
            Sleep(RoundPauseMs);
        watchdogs = runningWatchdogs(*session);
    }
    if (watchdogs && !watchdogs->ours.empty()) {
        for (const DWORD watchdog : watchdogs->ours)
            endByForce(watchdog, *session, out);
        watchdogs = runningWatchdogs(*session);
    }
    if (!watchdogs) {
        std::fprintf(out, "the running programs cannot be read\n");
        return false;
    }
    for (const DWORD watchdog : watchdogs->ours)
        std::fprintf(out, "watchdog %lu of this session is still running\n", watchdog);
    if (watchdogs->others > 0)
        std::fprintf(out, "%d watchdog(s) of other sessions keep running until their users log off\n",
                     watchdogs->others);
    return watchdogs->ours.empty();
}

bool awaitSessionWatchdog(std::FILE *out, DWORD timeoutMs)
{
    const std::optional<DWORD> session = platform::win32_backend::ownSession();
    if (!session) {
        std::fprintf(out, "the session of this process cannot be read\n");
        return false;
    }
    const ULONGLONG start = GetTickCount64();
    std::optional<Watchdogs> watchdogs;
    for (;;) {
        watchdogs = runningWatchdogs(*session);
        if (watchdogs) {
            const std::vector<HWND> windows = sessionEndWindows(watchdogs->ours);
            if (!windows.empty()) {
                DWORD processId = 0;
                GetWindowThreadProcessId(windows.front(), &processId);
                std::fprintf(out, "watchdog %lu runs in this session, %llu ms after the start\n", processId,
                             static_cast<unsigned long long>(GetTickCount64() - start));
                return true;
            }
        }
        if (GetTickCount64() - start >= timeoutMs)
            break;
        Sleep(RoundPauseMs / 4);
    }
    if (!watchdogs)
        std::fprintf(out, "the running programs cannot be read\n");
    else if (watchdogs->ours.empty())
        std::fprintf(out, "no watchdog runs in this session %lu ms after the start\n", timeoutMs);
    else
        std::fprintf(out, "%zu watchdog(s) of this session, none with its window up %lu ms after the start\n",
                     watchdogs->ours.size(), timeoutMs);
    return false;
}

} // namespace setup_helper
