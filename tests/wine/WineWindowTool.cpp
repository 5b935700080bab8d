// What the system would send a running watchdog, fabricated for the tests
// under wine, where no device comes or goes and no session ends:
//   winetool arrive | remove     WM_DEVICECHANGE for a HID interface, sent to
//                                the watchdog's notification window
//   winetool resume              WM_POWERBROADCAST PBT_APMRESUMESUSPEND
//   winetool end-session         WM_QUERYENDSESSION and WM_ENDSESSION to the
//                                window that hears the session end
//   winetool close-box TITLE     WM_CLOSE to the top-level window TITLE (a
//                                message box)
//   winetool quit                WM_QUIT to the watchdog's main thread (the
//                                thread of its notification window): its
//                                event loop ends as on any end that the
//                                session did not ask for
//   winetool count NAME.exe      prints how many processes run NAME.exe
// Each waits up to 10 s for its window and exits 0 once the message was
// delivered, 1 when the window never appeared, 2 on bad arguments.
#include "HidApi.h"
#include "Win32SessionEnd.h"
#include "WindowDeviceNotifications.h"

#include <windows.h>

#include <dbt.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

using platform::win32_backend::Win32SessionEnd;
using platform::win32_backend::WindowDeviceNotifications;

namespace {

HWND waitForWindow(const wchar_t *className, const wchar_t *title)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (HWND window = FindWindowW(className, title))
            return window;
        Sleep(100);
    }
    return nullptr;
}

int sendDeviceChange(WPARAM event)
{
    const HWND window = waitForWindow(WindowDeviceNotifications::ClassName, WindowDeviceNotifications::WindowTitle);
    if (!window)
        return 1;
    // The record the system passes for a device interface of the HID class.
    DEV_BROADCAST_DEVICEINTERFACE_W record{};
    record.dbcc_size = sizeof record;
    record.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    HidD_GetHidGuid(&record.dbcc_classguid);
    SendMessageW(window, WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&record));
    return 0;
}

int sendResume()
{
    const HWND window = waitForWindow(WindowDeviceNotifications::ClassName, WindowDeviceNotifications::WindowTitle);
    if (!window)
        return 1;
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    return 0;
}

int endSession()
{
    const HWND window = waitForWindow(Win32SessionEnd::ClassName, nullptr);
    if (!window)
        return 1;
    SendMessageW(window, WM_QUERYENDSESSION, 0, 0);
    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    return 0;
}

int quitMainThread()
{
    const HWND window = waitForWindow(WindowDeviceNotifications::ClassName, WindowDeviceNotifications::WindowTitle);
    if (!window)
        return 1;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    return thread != 0 && PostThreadMessageW(thread, WM_QUIT, 0, 0) ? 0 : 1;
}

int closeWindow(const wchar_t *title)
{
    const HWND window = waitForWindow(nullptr, title);
    if (!window)
        return 1;
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
}

int countProcesses(const wchar_t *name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 1;
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (lstrcmpiW(entry.szExeFile, name) == 0)
            ++count;
    CloseHandle(snapshot);
    std::printf("%d\n", count);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t **argv)
{
    const std::wstring action = argc > 1 ? argv[1] : L"";
    if (argc == 2 && action == L"arrive")
        return sendDeviceChange(DBT_DEVICEARRIVAL);
    if (argc == 2 && action == L"remove")
        return sendDeviceChange(DBT_DEVICEREMOVECOMPLETE);
    if (argc == 2 && action == L"resume")
        return sendResume();
    if (argc == 2 && action == L"end-session")
        return endSession();
    if (argc == 2 && action == L"quit")
        return quitMainThread();
    if (argc == 3 && action == L"close-box")
        return closeWindow(argv[2]);
    if (argc == 3 && action == L"count")
        return countProcesses(argv[2]);
    std::fprintf(stderr, "usage: winetool arrive|remove|resume|end-session|quit|close-box TITLE|count NAME.exe\n");
    return 2;
}
