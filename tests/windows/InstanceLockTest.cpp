// The single-instance lock as a named mutex: one holder at a time, in this
// process and across processes, and free again once its holder is gone.
#include "MutexInstanceLock.h"
#include "PlatformTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace platform_tests;
using platform::InstanceLock;
using platform::win32_backend::MutexInstanceLock;

// Names of this process only, so that parallel test runs never meet.
std::string uniqueName(const std::string &purpose)
{
    return "TesselTest_" + purpose + "_" + std::to_string(GetCurrentProcessId());
}

TEST(MutexInstanceLock, AdmitsOneHolderAndAnotherAfterRelease)
{
    const std::string name = uniqueName("one_holder");
    MutexInstanceLock first(name);
    MutexInstanceLock second(name);

    EXPECT_EQ(first.acquire(), InstanceLock::Outcome::Acquired);
    EXPECT_EQ(second.acquire(), InstanceLock::Outcome::AlreadyHeld);
    // The refused copy kept no handle: the holder's release frees the name.
    EXPECT_EQ(first.acquire(), InstanceLock::Outcome::Acquired);
    first.release();
    first.release();
    EXPECT_EQ(second.acquire(), InstanceLock::Outcome::Acquired);

    MutexInstanceLock other(uniqueName("other_name"));
    EXPECT_EQ(other.acquire(), InstanceLock::Outcome::Acquired);
}

TEST(MutexInstanceLock, NameTakenByAnotherKindOfObjectFails)
{
    const std::string name = uniqueName("event");
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name.c_str());
    ASSERT_NE(event, nullptr);
    MutexInstanceLock lock(name);
    EXPECT_EQ(lock.acquire(), InstanceLock::Outcome::Failed);
    CloseHandle(event);
    EXPECT_EQ(lock.acquire(), InstanceLock::Outcome::Acquired);
}

TEST(MutexInstanceLock, AnotherProcessHoldsItUntilItEnds)
{
    const std::string name = uniqueName("other_process");
    const std::wstring wideName(name.begin(), name.end());
    const std::filesystem::path folder = scratchDirectory("lock");
    const std::filesystem::path marker = folder / "holding.txt";
    SetEnvironmentVariableW(MarkerVariable, marker.c_str());
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, (wideName + L".done").c_str());
    ASSERT_NE(done, nullptr);

    std::wstring commandLine = L"\"" + (runtimeDirectory() / HelperProgram).wstring() + L"\" --hold " + wideName;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION helper{};
    ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &helper));
    CloseHandle(helper.hThread);
    EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(marker); })) << "the helper never took the mutex";

    MutexInstanceLock lock(name);
    EXPECT_EQ(lock.acquire(), InstanceLock::Outcome::AlreadyHeld);

    SetEvent(done);
    EXPECT_EQ(WaitForSingleObject(helper.hProcess, 20000), WAIT_OBJECT_0);
    CloseHandle(helper.hProcess);
    CloseHandle(done);
    EXPECT_EQ(lock.acquire(), InstanceLock::Outcome::Acquired);

    SetEnvironmentVariableW(MarkerVariable, nullptr);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

} // namespace
