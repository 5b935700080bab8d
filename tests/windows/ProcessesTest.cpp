// The process list and program starts of the Win32 backend, against the
// real system: the test program itself, and a helper program built for the
// tests that leaves a marker file when it runs.
#include "PlatformTestSupport.h"
#include "Win32Processes.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <fstream>
#include <sstream>

namespace {

using namespace platform_tests;
using platform::win32_backend::Win32Processes;

std::string upperCaseName(const std::filesystem::path &file)
{
    std::wstring name = file.filename().wstring();
    std::transform(name.begin(), name.end(), name.begin(), [](wchar_t c) { return std::towupper(c); });
    return toUtf8(name);
}

class HelperStart : public ::testing::Test
{
protected:
    HelperStart()
        : folder(scratchDirectory("processes")), marker(folder / "started.txt")
    {
        SetEnvironmentVariableW(MarkerVariable, marker.c_str());
    }
    ~HelperStart() override
    {
        SetEnvironmentVariableW(MarkerVariable, nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // The program the helper says it ran as, once its marker is there.
    std::filesystem::path startedProgram()
    {
        if (!waitUntil([this] { return std::filesystem::exists(marker); }))
            return {};
        std::ifstream in(marker, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return fromUtf8(text.str());
    }

    Win32Processes processes;
    std::filesystem::path folder;
    std::filesystem::path marker;
};

TEST(Win32Processes, FindsItsOwnProgramIgnoringCaseAndNotAMissingOne)
{
    Win32Processes processes;
    bool running = false;
    const std::string ownName = upperCaseName(programFile());
    ASSERT_NE(ownName, programFile().filename().string()) << "the name must differ in case from the real one";
    EXPECT_TRUE(processes.isProcessRunning(ownName, running));
    EXPECT_TRUE(running);

    running = true;
    // The walk of a name nobody has runs to its normal end.
    EXPECT_TRUE(processes.isProcessRunning("no-such-program-7a3e4b20.exe", running));
    EXPECT_FALSE(running);
}

TEST_F(HelperStart, StartDetachedRunsTheProgramBesideTheRunningOne)
{
    ASSERT_TRUE(processes.startDetached(HelperProgram));
    const std::filesystem::path started = startedProgram();
    ASSERT_FALSE(started.empty()) << "the helper never ran";
    EXPECT_TRUE(std::filesystem::equivalent(started, runtimeDirectory() / HelperProgram));
}

TEST_F(HelperStart, OnlyProcessesOfOurOwnSessionCount)
{
    // The helper stays up, holding a mutex, until its event is set.
    const std::wstring name = L"tessel_session_" + std::to_wstring(GetCurrentProcessId());
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, (name + L".done").c_str());
    ASSERT_NE(done, nullptr);
    std::wstring commandLine = L"\"" + (runtimeDirectory() / HelperProgram).wstring() + L"\" --hold " + name;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION helper{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &helper));
    CloseHandle(helper.hThread);
    ASSERT_FALSE(startedProgram().empty()) << "the helper never ran";

    // Under wine every process shares one session: the real look-up finds it.
    bool running = false;
    EXPECT_TRUE(processes.isProcessRunning(HelperProgram, running));
    EXPECT_TRUE(running);

    // Which sessions the processes run in, whether the helper counts, and
    // whether it can be told at all.
    const DWORD self = GetCurrentProcessId();
    struct Case
    {
        platform::win32_backend::SessionLookup sessions;
        bool counted;
        bool told;
    };
    const Case cases[] = {
        {[](DWORD) -> std::optional<DWORD> { return 1; }, true, true},
        {[self](DWORD process) -> std::optional<DWORD> { return process == self ? 1 : 2; }, false, true},
        // Without our own session nothing is ours, whatever the others say.
        {[self](DWORD process) -> std::optional<DWORD> {
             return process == self ? std::nullopt : std::optional<DWORD>(1);
         },
         false, false},
    };
    for (const Case &sessions : cases) {
        Win32Processes inSessions(sessions.sessions);
        running = !sessions.counted;
        EXPECT_EQ(inSessions.isProcessRunning(HelperProgram, running), sessions.told);
        EXPECT_EQ(running, sessions.counted);
    }

    SetEvent(done);
    EXPECT_EQ(WaitForSingleObject(helper.hProcess, 20000), WAIT_OBJECT_0);
    CloseHandle(helper.hProcess);
    CloseHandle(done);
}

TEST_F(HelperStart, StartDetachedOfAMissingProgramFails)
{
    EXPECT_FALSE(processes.startDetached("no-such-program-7a3e4b20.exe"));
    EXPECT_FALSE(processes.startDetached(""));
}

TEST_F(HelperStart, ShellExecuteOpensAProgramByNameWithEitherVerb)
{
    EXPECT_GT(processes.shellExecute("open", HelperProgram), 32);
    EXPECT_FALSE(startedProgram().empty()) << "the helper never ran";

    // The elevation retry: no prompt under wine or for a user who may
    // already run it, but the verb must still reach the program.
    std::filesystem::remove(marker);
    EXPECT_GT(processes.shellExecute("runas", HelperProgram), 32);
    EXPECT_FALSE(startedProgram().empty()) << "the helper never ran elevated";
}

TEST_F(HelperStart, ShellExecuteOfAMissingProgramReportsNotFound)
{
    EXPECT_EQ(processes.shellExecute("open", "no-such-program-7a3e4b20.exe"), platform::SE_ERR_FNF);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST(Win32Platform, IsTheBackendAndStartsItsFreshCopiesItself)
{
    platform::Platform &backend = platform::backend();
    EXPECT_EQ(&platform::current(), &backend);
    EXPECT_FALSE(backend.serviceManagerRestarts());
    EXPECT_FALSE(backend.sessionEndRequested());

    bool running = false;
    EXPECT_TRUE(backend.processes().isProcessRunning(upperCaseName(programFile()), running));
    EXPECT_TRUE(running);
}

} // namespace
