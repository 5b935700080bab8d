// The session's request to end: recorded once WM_ENDSESSION confirms it or
// a console control event comes, and handed to the thread that watches.
// Each test runs in a process of its own (CTest), so the recorded request
// starts out clear.
#include "PlatformTestSupport.h"
#include "Win32SessionEnd.h"

#include <gtest/gtest.h>

#include <chrono>
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

// The failed-start wait runs after the event loop has ended: the session's
// messages must still be answered at once, or Windows reports the program
// as blocking the sign-out, and the wait must end with the session.
TEST(Win32SessionEnd, AWaitOutsideTheEventLoopAnswersTheSessionAndEndsWithIt)
{
    using namespace std::chrono;
    int calls = 0;
    Win32SessionEnd watcher;
    watcher.watch([&] { ++calls; });
    const HWND window = sessionEndWindow();
    ASSERT_NE(window, nullptr);

    const auto quietStart = steady_clock::now();
    EXPECT_TRUE(Win32SessionEnd::waitUnlessRequested(300)) << "nobody asked: the wait runs its time";
    // Timed by GetTickCount64, which moves in steps of 10 to 16 ms.
    EXPECT_GE(steady_clock::now() - quietStart, milliseconds(250));

    // The system sends from another process; here from another thread,
    // which is delivered the same way. A wait that answers nothing lets
    // both messages time out, and runs its full 10 s.
    DWORD_PTR queryAnswer = 0;
    LRESULT querySent = 0;
    LRESULT endSent = 0;
    steady_clock::time_point sessionEnded;
    std::thread session([&] {
        std::this_thread::sleep_for(milliseconds(300));
        querySent = SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000,
                                        &queryAnswer);
        endSent = SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, nullptr);
        sessionEnded = steady_clock::now();
    });
    const bool waitedOut = Win32SessionEnd::waitUnlessRequested(10000);
    const auto waitEnded = steady_clock::now();
    session.join();

    EXPECT_FALSE(waitedOut);
    EXPECT_NE(querySent, 0) << "the query was not answered within 5 s";
    EXPECT_EQ(queryAnswer, static_cast<DWORD_PTR>(TRUE));
    EXPECT_NE(endSent, 0) << "the end was not taken within 5 s";
    EXPECT_LT(waitEnded - sessionEnded, seconds(2)) << "the wait outlived the session";
    EXPECT_TRUE(Win32SessionEnd::requested());
    EXPECT_EQ(calls, 1);
}

TEST(Win32SessionEnd, AConsoleRequestEndsAWaitAtOnce)
{
    using namespace std::chrono;
    std::thread console([] {
        std::this_thread::sleep_for(milliseconds(300));
        Win32SessionEnd::onConsoleControl(CTRL_C_EVENT);
    });
    const auto start = steady_clock::now();
    EXPECT_FALSE(Win32SessionEnd::waitUnlessRequested(10000));
    EXPECT_LT(steady_clock::now() - start, seconds(3));
    console.join();
}

} // namespace
