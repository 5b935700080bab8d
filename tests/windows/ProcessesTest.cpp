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

// A copy of the helper program under another name, in a folder of its own.
std::filesystem::path helperCopy(const std::filesystem::path &folder, const std::wstring &name)
{
    const std::filesystem::path copy = folder / name;
    std::filesystem::copy_file(runtimeDirectory() / HelperProgram, copy);
    return copy;
}

TEST_F(HelperStart, TheShellOpensTheProgramItsAppPathsEntryNames)
{
    const std::wstring name = L"tessel-apppath-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    const std::filesystem::path program = helperCopy(folder, name);
    const std::wstring key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name;
    const std::wstring value = L"\"" + program.wstring() + L"\"";
    ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    EXPECT_EQ(processes.locateProgram(name), program.wstring());
    EXPECT_GT(processes.shellExecute("open", toUtf8(name)), 32);
    const std::filesystem::path started = startedProgram();
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
    ASSERT_FALSE(started.empty()) << "the program never ran";
    EXPECT_TRUE(std::filesystem::equivalent(started, program));
}

TEST_F(HelperStart, AProgramInTheCurrentFolderOrOnThePathIsNeverStarted)
{
    const std::wstring name = L"planted-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
    helperCopy(folder, name);
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(folder.c_str());
    wchar_t path[32768];
    const DWORD pathLength = GetEnvironmentVariableW(L"PATH", path, 32768);
    SetEnvironmentVariableW(L"PATH", (folder.wstring() + L";" + std::wstring(path, pathLength)).c_str());

    EXPECT_EQ(processes.locateProgram(name), L"");
    EXPECT_EQ(processes.shellExecute("open", toUtf8(name)), platform::SE_ERR_FNF);
    EXPECT_EQ(processes.shellExecute("runas", toUtf8(name)), platform::SE_ERR_FNF);
    EXPECT_FALSE(processes.startDetached(toUtf8(name)));

    SetEnvironmentVariableW(L"PATH", std::wstring(path, pathLength).c_str());
    SetCurrentDirectoryW(previous);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(HelperStart, TheCameraSoftwaresFolderComesBeforeOurOwn)
{
    // The viewer is the camera's: where its filter is registered.
    const std::filesystem::path camera = folder / "camera";
    std::filesystem::create_directories(camera);
    const std::wstring name = std::filesystem::path(HelperProgram).wstring();
    const std::filesystem::path program = helperCopy(camera, name);
    const platform::win32_backend::SoftwareFolders folders{runtimeDirectory().wstring(),
                                                           (camera / "tlxuvc.ax").wstring()};
    Win32Processes inCamera({}, [folders] { return folders; });
    EXPECT_GT(inCamera.shellExecute("open", HelperProgram), 32);
    const std::filesystem::path started = startedProgram();
    ASSERT_FALSE(started.empty()) << "the program never ran";
    EXPECT_TRUE(std::filesystem::equivalent(started, program));
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
