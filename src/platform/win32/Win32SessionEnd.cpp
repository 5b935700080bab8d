#include "Win32SessionEnd.h"

#include <atomic>

namespace platform::win32_backend {

namespace {

std::atomic<bool> endRequested{false};
// The window the console handler posts to; null while nobody watches.
std::atomic<HWND> watchingWindow{nullptr};

constexpr UINT RequestMessage = WM_APP + 1;
// A console that is closed, or a session that ends, ends the process soon
// after the handler returns; this lets the main thread wind down first.
constexpr DWORD ConsoleGraceMs = 4000;

HINSTANCE programInstance()
{
    return GetModuleHandleW(nullptr);
}

// Set with the request, so that a wait outside the event loop wakes at once
// for a request that arrives on another thread.
HANDLE requestEvent()
{
    static const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event;
}

void recordRequest()
{
    endRequested = true;
    if (const HANDLE event = requestEvent())
        SetEvent(event);
}

} // namespace

Win32SessionEnd::~Win32SessionEnd()
{
    if (window) {
        HWND expected = window;
        watchingWindow.compare_exchange_strong(expected, nullptr);
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
        DestroyWindow(window);
        UnregisterClassW(ClassName, programInstance());
    }
}

bool Win32SessionEnd::requested()
{
    return endRequested;
}

void Win32SessionEnd::watch(std::function<void()> onRequest)
{
    callback = std::move(onRequest);
    if (!window) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = windowProcedure;
        windowClass.hInstance = programInstance();
        windowClass.lpszClassName = ClassName;
        if (RegisterClassW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
            // Top-level, never shown: WM_QUERYENDSESSION and WM_ENDSESSION
            // do not reach message-only windows.
            window = CreateWindowExW(0, ClassName, L"", WS_OVERLAPPED, 0, 0, 0, 0, nullptr, nullptr,
                                     programInstance(), this);
        }
        if (!window)
            return;
        watchingWindow = window;
        SetConsoleCtrlHandler(onConsoleControl, TRUE);
    }
    // A console event that came before we watched is not lost.
    if (endRequested)
        PostMessageW(window, RequestMessage, 0, 0);
}

bool Win32SessionEnd::waitUnlessRequested(DWORD milliseconds)
{
    const HANDLE wake = requestEvent();
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        // Delivers what other threads and processes sent to this thread's
        // windows, and nothing else.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (requested())
            return false;
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return true;
        MsgWaitForMultipleObjects(wake ? 1 : 0, wake ? &wake : nullptr, FALSE, static_cast<DWORD>(end - now),
                                  QS_SENDMESSAGE);
    }
}

BOOL WINAPI Win32SessionEnd::onConsoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    recordRequest();
    const HWND target = watchingWindow;
    if (target)
        PostMessageW(target, RequestMessage, 0, 0);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        Sleep(ConsoleGraceMs); // the process ends when the main thread is done
    return TRUE;
}

LRESULT CALLBACK Win32SessionEnd::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto *creation = reinterpret_cast<const CREATESTRUCTW *>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto *self = reinterpret_cast<Win32SessionEnd *>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_QUERYENDSESSION:
        // Only a question: another program may still veto the end, and a
        // watchdog that stopped for a session that goes on would be missed.
        return TRUE;
    case WM_ENDSESSION:
        // Decided. After we return the system may end the process at any
        // moment, so the request is handed over now, not posted.
        if (wParam) {
            recordRequest();
            if (self)
                self->runCallback();
        }
        return 0;
    case RequestMessage:
        if (self)
            self->runCallback();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void Win32SessionEnd::runCallback()
{
    if (callback)
        callback();
}

} // namespace platform::win32_backend
