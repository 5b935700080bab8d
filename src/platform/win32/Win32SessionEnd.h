#pragma once

#include <windows.h>

#include <functional>

namespace platform::win32_backend {

// The session asking the program to end: WM_ENDSESSION, which Windows sends
// to top-level windows when the user logs off or the machine shuts down,
// and the console's control events when the program runs in a console. The
// request is recorded for good and handed to the main thread.
class Win32SessionEnd
{
public:
    Win32SessionEnd() = default;
    ~Win32SessionEnd();

    Win32SessionEnd(const Win32SessionEnd &) = delete;
    Win32SessionEnd &operator=(const Win32SessionEnd &) = delete;

    // On the main thread: creates the hidden window that hears the session
    // end (messages dispatched by the thread's event loop) and installs the
    // console handler. onRequest then runs on this thread.
    void watch(std::function<void()> onRequest);
    static bool requested();

    // Waits up to milliseconds on a thread with no event loop running while
    // still answering the messages the system sends (the session's
    // WM_QUERYENDSESSION and WM_ENDSESSION among them); messages posted for
    // the event loop stay queued. False as soon as the end is requested.
    static bool waitUnlessRequested(DWORD milliseconds);

    // The console's control handler. It runs on a thread the system starts
    // for it, so it only records the request and posts it to the window.
    static BOOL WINAPI onConsoleControl(DWORD event);

    static constexpr const wchar_t *ClassName = L"TesselSessionEndWindow";

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void runCallback();

    std::function<void()> callback;
    HWND window = nullptr;
};

} // namespace platform::win32_backend
