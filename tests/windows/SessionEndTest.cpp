// The session's request to end: recorded once WM_ENDSESSION confirms it or
// a console control event comes, and handed to the thread that watches.
// Each test runs in a process of its own (CTest), so the recorded request
// starts out clear.
#include "PlatformTestSupport.h"
#include "Win32SessionEnd.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace platform_tests;
using platform::win32_backend::Win32SessionEnd;

// The watcher's window among this thread's windows.
HWND sessionEndWindow()
{
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM result) -> BOOL {
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            if (std::wstring(name) != Win32SessionEnd::ClassName)
                return TRUE;
            *reinterpret_cast<HWND *>(result) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST(Win32SessionEnd, OnlyAConfirmedEndOfSessionIsRecordedAndHandedOver)
{
    ASSERT_FALSE(Win32SessionEnd::requested());
    int calls = 0;
    Win32SessionEnd watcher;
    watcher.watch([&] { ++calls; });
    const HWND window = sessionEndWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(IsWindowVisible(window));

    // The query may still be vetoed by another program: allowed, not acted on.
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
    EXPECT_EQ(SendMessageW(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF), 0);
    EXPECT_FALSE(Win32SessionEnd::requested());
    EXPECT_EQ(calls, 0);

    // Handed over before the message returns: the process may end after.
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_TRUE(Win32SessionEnd::requested());
    EXPECT_EQ(calls, 1);
}

TEST(Win32SessionEnd, ConsoleEventIsHandedToTheWatchingThread)
{
    const DWORD mainThread = GetCurrentThreadId();
    DWORD calledOn = 0;
    Win32SessionEnd watcher;
    watcher.watch([&] { calledOn = GetCurrentThreadId(); });

    // The system runs console handlers on a thread of its own.
    BOOL handled = FALSE;
    std::thread([&] { handled = Win32SessionEnd::onConsoleControl(CTRL_BREAK_EVENT); }).join();
    EXPECT_TRUE(handled);
    EXPECT_TRUE(Win32SessionEnd::requested()) << "recorded at once, for any thread to see";
    EXPECT_EQ(calledOn, 0u) << "not called from the handler's thread";

    EXPECT_TRUE(pumpUntil([&] { return calledOn != 0; }));
    EXPECT_EQ(calledOn, mainThread);
}

TEST(Win32SessionEnd, ConsoleRequestBeforeWatchingIsNotLost)
{
    EXPECT_FALSE(Win32SessionEnd::onConsoleControl(42)) << "not ours: left to the next handler";
    EXPECT_FALSE(Win32SessionEnd::requested());

    EXPECT_TRUE(Win32SessionEnd::onConsoleControl(CTRL_C_EVENT));
    bool called = false;
    Win32SessionEnd watcher;
    watcher.watch([&] { called = true; });
    EXPECT_TRUE(pumpUntil([&] { return called; }));
}

} // namespace
