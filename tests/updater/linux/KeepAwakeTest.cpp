// While the updater writes an image it holds a logind inhibitor lock, and
// lets it go when the write ends, whatever its outcome. python-dbusmock
// plays logind on a private bus in the role of the system bus; the control
// library stand-in asks logind for its inhibitors while it is inside
// FirmwareUpdate and again inside DeInitLibrary, which follows the write.
#include "support/UpdaterSandbox.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

namespace {

using namespace updater_tests;
namespace fs = std::filesystem;

const std::string HELD =
    "([('sleep:shutdown', 'ZentraUpdater', 'Camera firmware update', 'block', uint32 1000, uint32 123456)],)\n";
const std::string NONE = "(@a(ssssuu) [],)\n";

pid_t spawn(const std::vector<std::string> &words, const fs::path &log)
{
    const pid_t child = ::fork();
    if (child == 0) {
        std::FILE *out = std::fopen(log.c_str(), "w");
        if (out) {
            ::dup2(::fileno(out), STDOUT_FILENO);
            ::dup2(::fileno(out), STDERR_FILENO);
        }
        std::vector<char *> argv;
        for (const auto &word : words)
            argv.push_back(const_cast<char *>(word.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return child;
}

class MockLogind
{
public:
    explicit MockLogind(const fs::path &folder)
        : address("unix:path=" + (folder / "system_bus").string())
    {
        daemon = spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=" + address}, folder / "bus.log");
        for (int i = 0; i < 200 && !fs::exists(folder / "system_bus"); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
        // The python3 on PATH may not be the one that has dbusmock.
        logind = spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "logind"},
                       folder / "logind.log");
        for (int i = 0; i < 300 && !ready; ++i) {
            ready = std::system("gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1 "
                                "-m org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1")
                    == 0;
            if (!ready)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~MockLogind()
    {
        for (const pid_t child : {logind, daemon}) {
            if (child > 0) {
                ::kill(child, SIGTERM);
                ::waitpid(child, nullptr, 0);
            }
        }
    }

    // The shell command that writes logind's inhibitor list to a file.
    static std::string listInto(const fs::path &file)
    {
        return "gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1 "
               "-m org.freedesktop.login1.Manager.ListInhibitors > '"
               + file.string() + "' 2>&1";
    }

    const std::string address;
    bool ready = false;

private:
    pid_t daemon = -1;
    pid_t logind = -1;
};

class UpdaterKeepsTheMachineAwake : public ::testing::Test
{
protected:
    UpdaterSandbox sandbox;
    MockLogind logind{sandbox.folders().work};
};

TEST_F(UpdaterKeepsTheMachineAwake, ForTheWriteOnly)
{
    ASSERT_TRUE(logind.ready) << "python3-dbusmock's logind did not come up";
    sandbox.setEnvironment("DBUS_SYSTEM_BUS_ADDRESS", logind.address);
    sandbox.writeImageWithChecksum("image.bin", makeImage(16384, 30));
    const fs::path during = sandbox.workFile("during.txt");
    const fs::path after = sandbox.workFile("after.txt");
    sandbox.setState("RunFirmwareUpdate=" + MockLogind::listInto(during)
                     + "\nRunDeInitLibrary=" + MockLogind::listInto(after));

    const ChildResult updated = sandbox.run({"/file", "image.bin"});
    EXPECT_EQ(updated.exitStatus, 0);
    EXPECT_EQ(updated.out, "UPDATE\n5\nVERIFY\n5\nFirmware Updated\n");
    EXPECT_EQ(updated.err, "");
    EXPECT_EQ(readFile(during), HELD);
    EXPECT_EQ(readFile(after), NONE);

    // A failed write lets go as well.
    sandbox.setState("FirmwareUpdate=1\nRunFirmwareUpdate=" + MockLogind::listInto(during));
    fs::remove(during);
    const ChildResult failed = sandbox.run({"/file", "image.bin"});
    EXPECT_EQ(failed.err, "Firmware update failed\n");
    EXPECT_EQ(readFile(during), HELD);

    // Version and backup write nothing to the camera and hold nothing.
    sandbox.setState("RunGetFirmwareVersionInfo=" + MockLogind::listInto(during)
                     + "\nRunFirmwareBackup=" + MockLogind::listInto(after));
    EXPECT_EQ(sandbox.run({"/version"}).exitStatus, 0);
    EXPECT_EQ(sandbox.run({"/backup"}).exitStatus, 0);
    EXPECT_EQ(readFile(during), NONE);
    EXPECT_EQ(readFile(after), NONE);
}

TEST(UpdaterWithoutLogind, UpdatesAndSaysTheMachineIsNotKeptAwake)
{
    // A bus without logind on it (no bus at all is every other updater
    // test's sandbox).
    UpdaterSandbox sandbox;
    const fs::path socket = sandbox.folders().work / "bus";
    const pid_t daemon =
        spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--address=unix:path=" + socket.string()},
              sandbox.workFile("bus.log"));
    for (int i = 0; i < 200 && !fs::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    sandbox.writeImageWithChecksum("image.bin", makeImage(16384, 31));
    sandbox.setEnvironment("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + socket.string());
    const ChildResult result = sandbox.run({"/file", "image.bin"});
    ::kill(daemon, SIGTERM);
    ::waitpid(daemon, nullptr, 0);

    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "UPDATE\n5\nVERIFY\n5\nFirmware Updated\n");
    EXPECT_EQ(result.err.rfind("The machine is not kept awake during the update (logind: ", 0), 0u) << result.err;
}

} // namespace
