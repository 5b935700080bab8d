// The Linux backend's process, lock and module conventions.
#include "platform/Platform.h"
#include "platform/linux/DlModules.h"
#include "platform/linux/FileInstanceLock.h"
#include "platform/linux/LinuxProcesses.h"
#include "platform/linux/ProgramFiles.h"
#include "platform/linux/UserScope.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace platform::linux_backend;
namespace fs = std::filesystem;

namespace {

class TemporaryFolder
{
public:
    TemporaryFolder()
    {
        char pattern[] = "/tmp/tessel-platform-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TemporaryFolder() { fs::remove_all(path); }
    fs::path path;
};

void writeScript(const fs::path &file, const std::string &body, fs::perms permissions)
{
    std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(file, permissions);
}

bool waitForFile(const fs::path &file)
{
    for (int i = 0; i < 300; ++i) {
        if (fs::exists(file))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST(LinuxPlatformTest, TheSessionLockAdmitsOneHolderAtATime)
{
    TemporaryFolder runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path.c_str(), 1);
    FileInstanceLock first("WatchDogApp_SingleInstanceMutex");
    FileInstanceLock second("WatchDogApp_SingleInstanceMutex");
    EXPECT_EQ(first.path(), (runtime.path / "WatchDogApp_SingleInstanceMutex").string());
    EXPECT_EQ(first.acquire(), platform::InstanceLock::Outcome::Acquired);
    EXPECT_EQ(second.acquire(), platform::InstanceLock::Outcome::AlreadyHeld);
    first.release();
    first.release();
    EXPECT_EQ(second.acquire(), platform::InstanceLock::Outcome::Acquired);

    // A child of the holder does not inherit the lock.
    const pid_t child = ::fork();
    if (child == 0) {
        FileInstanceLock inChild("WatchDogApp_SingleInstanceMutex");
        ::_exit(inChild.acquire() == platform::InstanceLock::Outcome::AlreadyHeld ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 0);

    ::setenv("XDG_RUNTIME_DIR", (runtime.path / "missing" / "folder").c_str(), 1);
    FileInstanceLock nowhere("WatchDogApp_SingleInstanceMutex");
    EXPECT_EQ(nowhere.acquire(), platform::InstanceLock::Outcome::Failed);
    ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(LinuxPlatformTest, WithoutARuntimeFolderTheLockGoesToAStateFolderOfThisUserOnly)
{
    using Outcome = platform::InstanceLock::Outcome;
    const std::string name = "WatchDogApp_SingleInstanceMutex";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    TemporaryFolder top;
    fs::create_directory(top.path / "home");
    ::unsetenv("XDG_RUNTIME_DIR");
    ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", (top.path / "home").c_str(), 1);

    const fs::path state = top.path / "home" / ".local" / "state";
    {
        FileInstanceLock first(name);
        FileInstanceLock second(name);
        EXPECT_EQ(first.path(), (state / name).string());
        EXPECT_EQ(first.acquire(), Outcome::Acquired);
        EXPECT_EQ(second.acquire(), Outcome::AlreadyHeld);
        for (const fs::path &folder : {state.parent_path(), state})
            EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;
    }
    const fs::path custom = top.path / "custom";
    ::setenv("XDG_STATE_HOME", custom.c_str(), 1);
    EXPECT_EQ(FileInstanceLock(name).acquire(), Outcome::Acquired);
    fs::remove(custom / name);
    // A folder like /tmp, or one of another user, is refused and left alone.
    fs::permissions(custom, fs::perms::all | fs::perms::sticky_bit);
    EXPECT_EQ(FileInstanceLock(name).acquire(), Outcome::Failed);
    EXPECT_FALSE(fs::exists(custom / name));
    if (::geteuid() == 0) {
        fs::permissions(custom, fs::perms::owner_all);
        ASSERT_EQ(::chown(custom.c_str(), 65534, 65534), 0);
        ::setenv("XDG_STATE_HOME", custom.c_str(), 1);
        EXPECT_EQ(FileInstanceLock(name).acquire(), Outcome::Failed);
        EXPECT_FALSE(fs::exists(custom / name));
    }
    ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", savedHome.c_str(), 1);
}

TEST(LinuxPlatformTest, ALockFileThatIsNotThisUsersIsNeverUsed)
{
    using Outcome = platform::InstanceLock::Outcome;
    const std::string name = "WatchDogApp_SingleInstanceMutex";
    TemporaryFolder runtime;
    ::setenv("XDG_RUNTIME_DIR", runtime.path.c_str(), 1);
    const fs::path file = runtime.path / name;
    FileInstanceLock lock(name);

    if (::geteuid() == 0) {
        std::ofstream{file};
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
        EXPECT_EQ(lock.acquire(), Outcome::Failed);
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 65534u);
        fs::remove(file);
    }
    fs::create_symlink(runtime.path / "elsewhere", file);
    EXPECT_EQ(lock.acquire(), Outcome::Failed);
    EXPECT_FALSE(fs::exists(runtime.path / "elsewhere"));
    fs::remove(file);

    // Our own file that others may open is made private before it is used.
    std::ofstream{file};
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read
                              | fs::perms::others_read | fs::perms::others_write);
    EXPECT_EQ(lock.acquire(), Outcome::Acquired);
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    ::unsetenv("XDG_RUNTIME_DIR");
}

TEST(LinuxPlatformTest, ProcessLookupIgnoresCaseAndTheExeSuffix)
{
    const std::string self = fs::read_symlink("/proc/self/exe").filename();
    LinuxProcesses processes;
    bool running = false;
    EXPECT_TRUE(processes.isProcessRunning(self + ".exe", running));
    EXPECT_TRUE(running);
    std::string upper = self;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(processes.isProcessRunning(upper + ".EXE", running));
    EXPECT_TRUE(running);
    EXPECT_TRUE(processes.isProcessRunning("no-such-program.exe", running));
    EXPECT_FALSE(running);
    EXPECT_EQ(withoutExeSuffix("tessel.EXE"), "tessel");
    EXPECT_EQ(withoutExeSuffix(".exe"), ".exe");
}

TEST(LinuxPlatformTest, AnExitedProcessNotYetReapedIsNotRunning)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_NAME, "tessel-exited");
        ::_exit(0);
    }
    ASSERT_GT(child, 0);
    siginfo_t exited{};
    // Waits for the exit but leaves the child unreaped.
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &exited, WEXITED | WNOWAIT), 0);
    std::string comm;
    std::getline(std::ifstream("/proc/" + std::to_string(child) + "/comm"), comm);
    EXPECT_EQ(comm, "tessel-exited") << "the exited child still shows its name";

    LinuxProcesses processes;
    bool running = true;
    EXPECT_TRUE(processes.isProcessRunning("tessel-exited.exe", running));
    EXPECT_FALSE(running);
    ::waitpid(child, nullptr, 0);
}

TEST(LinuxPlatformTest, AnotherUsersProcessIsNotOurs)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a program as another user";
    TemporaryFolder folder;
    fs::permissions(folder.path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                                     | fs::perms::others_read | fs::perms::others_exec);
    const fs::path program = folder.path / "tessel-lookup";
    fs::copy_file("/bin/sleep", program);
    const auto start = [&](uid_t uid) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0)
                ::_exit(126);
            ::execl(program.c_str(), program.c_str(), "30", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        return child;
    };
    const auto foundSoon = [] {
        LinuxProcesses processes;
        bool running = false;
        for (int i = 0; i < 300 && !running; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            processes.isProcessRunning("tessel-lookup.exe", running);
        }
        return running;
    };

    const pid_t stranger = start(65534);
    ASSERT_GT(stranger, 0);
    // The stranger's program must be up before its absence means anything.
    ASSERT_TRUE(waitForFile("/proc/" + std::to_string(stranger) + "/exe"));
    for (int i = 0; i < 300 && fs::read_symlink("/proc/" + std::to_string(stranger) + "/exe") != program; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(fs::read_symlink("/proc/" + std::to_string(stranger) + "/exe"), program);
    LinuxProcesses processes;
    bool running = true;
    EXPECT_TRUE(processes.isProcessRunning("tessel-lookup.exe", running));
    EXPECT_FALSE(running) << "a program of uid 65534 counted as ours";

    const pid_t own = start(::getuid());
    ASSERT_GT(own, 0);
    EXPECT_TRUE(foundSoon());
    for (const pid_t child : {stranger, own}) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

TEST(LinuxPlatformTest, OpeningAProgramGivesTheResultCodesOfTheSystem)
{
    TemporaryFolder folder;
    const fs::path marker = folder.path / "started";
    writeScript(folder.path / "viewer-test-program", "touch '" + marker.string() + "'",
                fs::perms::owner_all);
    writeScript(folder.path / "not-allowed", "exit 0", fs::perms::owner_read | fs::perms::owner_write);
    const std::string path = std::string(std::getenv("PATH") ? std::getenv("PATH") : "");
    ::setenv("PATH", (folder.path.string() + ":" + path).c_str(), 1);

    LinuxProcesses processes;
    EXPECT_EQ(processes.shellExecute("open", "viewer-test-program.exe"), platform::SHELL_EXECUTE_SUCCESS);
    EXPECT_TRUE(waitForFile(marker));
    EXPECT_EQ(processes.shellExecute("open", "no-such-viewer.exe"), platform::SE_ERR_FNF);
    // Without any execute bit not even root may run it.
    EXPECT_EQ(processes.shellExecute("open", "not-allowed.exe"), platform::SE_ERR_ACCESSDENIED);

    fs::remove(marker);
    EXPECT_TRUE(processes.startDetached("viewer-test-program.exe"));
    EXPECT_TRUE(waitForFile(marker));
    EXPECT_FALSE(processes.startDetached("no-such-viewer.exe"));

    // A web page goes to xdg-open as one argument, untouched by any shell.
    const fs::path opened = folder.path / "opened";
    writeScript(folder.path / "xdg-open", "printf '%s|%s' \"$1\" \"$#\" > '" + opened.string() + ".tmp'; mv '"
                + opened.string() + ".tmp' '" + opened.string() + "'",
                fs::perms::owner_all);
    const std::string page = "https://www.brivara.com/tessel?lang=de&x=$(touch%20/tmp/no);";
    EXPECT_TRUE(processes.openWebPage(page));
    ASSERT_TRUE(waitForFile(opened));
    std::ifstream openedFile(opened);
    std::string received;
    std::getline(openedFile, received);
    EXPECT_EQ(received, page + "|1");
    fs::remove(folder.path / "xdg-open");
    ::setenv("PATH", folder.path.c_str(), 1);
    EXPECT_FALSE(processes.openWebPage(page)) << "no xdg-open, no browser";
    ::setenv("PATH", path.c_str(), 1);
}

TEST(LinuxPlatformTest, AStartedProgramGetsNoDescriptorButTheStandardStreams)
{
    // As a library would leave one: without close-on-exec, and numbered
    // above what the shell opens for itself.
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    const int leaky[2] = {::fcntl(pipeEnds[0], F_DUPFD, 100), ::fcntl(pipeEnds[1], F_DUPFD, 100)};
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    ASSERT_GE(leaky[0], 100);
    TemporaryFolder folder;
    const fs::path listing = folder.path / "descriptors";
    writeScript(folder.path / "descriptor-lister",
                "for f in /proc/$$/fd/*; do echo \"${f##*/}\"; done > '" + listing.string() + ".tmp'; mv '"
                    + listing.string() + ".tmp' '" + listing.string() + "'",
                fs::perms::owner_all);
    LinuxProcesses processes;
    EXPECT_TRUE(processes.startDetached((folder.path / "descriptor-lister").string()));
    ASSERT_TRUE(waitForFile(listing));
    std::set<int> inherited;
    std::ifstream in(listing);
    for (int fd; in >> fd;)
        inherited.insert(fd);
    ::close(leaky[0]);
    ::close(leaky[1]);
    EXPECT_TRUE(inherited.count(0) && inherited.count(2)) << "the standard streams go along";
    EXPECT_FALSE(inherited.count(leaky[0]) || inherited.count(leaky[1]));
}

// Nothing of the watchdog's own signal handling or of its supervision goes
// along: exec keeps ignored signals and the signal mask, and the unit's
// TESSEL_WATCHDOG_SUPERVISED would tell a fresh copy that systemd watches it.
TEST(LinuxPlatformTest, AStartedProgramGetsDefaultSignalHandlingAndNoSupervisionMark)
{
    TemporaryFolder folder;
    const fs::path report = folder.path / "report";
    writeScript(folder.path / "signal-reporter",
                // awk reads its own status: the shell blocks signals of its
                // own while it waits for a command.
                "{ env; awk '/^Sig(Ign|Blk):/' /proc/self/status; } > '" + report.string() + ".tmp'; mv '"
                    + report.string() + ".tmp' '" + report.string() + "'",
                fs::perms::owner_all);
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousPipe{};
    ::sigaction(SIGPIPE, &ignore, &previousPipe);
    sigset_t blocked, previousMask;
    ::sigemptyset(&blocked);
    ::sigaddset(&blocked, SIGUSR2);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previousMask);
    ::setenv("TESSEL_WATCHDOG_SUPERVISED", "1", 1);

    const int result = LinuxProcesses::spawnDetached({(folder.path / "signal-reporter").string()});

    ::unsetenv("TESSEL_WATCHDOG_SUPERVISED");
    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::sigaction(SIGPIPE, &previousPipe, nullptr);
    ASSERT_EQ(result, 0);
    ASSERT_TRUE(waitForFile(report));
    std::ifstream in(report);
    std::set<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.insert(line);
    EXPECT_TRUE(lines.count("SigIgn:\t0000000000000000")) << "an ignored signal went along";
    EXPECT_TRUE(lines.count("SigBlk:\t0000000000000000")) << "a blocked signal went along";
    EXPECT_TRUE(std::none_of(lines.begin(), lines.end(),
                             [](const std::string &line) { return line.rfind("TESSEL_WATCHDOG_SUPERVISED=", 0) == 0; }));
    EXPECT_TRUE(lines.count("PATH=" + std::string(std::getenv("PATH")))) << "the rest of the environment goes along";
}

// The user's systemd, played by python-dbusmock's systemd template on a
// private session bus: the program is put into a scope of its own, named
// after it, before it runs at all.
TEST(LinuxPlatformTest, AnOpenedProgramIsPlacedInAScopeOfItsOwnBeforeItRuns)
{
    if (!fs::exists("/usr/bin/dbus-daemon") || !fs::exists("/usr/lib/python3/dist-packages/dbusmock/templates/systemd.py"))
        GTEST_SKIP() << "needs dbus-daemon and python3-dbusmock";
    int argc = 1;
    char name[] = "linux_platform_test";
    char *argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    TemporaryFolder folder;
    QProcess daemon;
    daemon.start("/usr/bin/dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection bus = QDBusConnection::connectToBus(address, QStringLiteral("scope-test"));
    ASSERT_TRUE(bus.isConnected());

    // No systemd on the bus: the caller hears why, at once.
    QString why;
    EXPECT_FALSE(UserScope::place(::getpid(), "nobody", why, bus));
    EXPECT_FALSE(why.isEmpty());

    const fs::path calls = folder.path / "calls.log";
    QProcess systemd;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
    systemd.setProcessEnvironment(environment);
    // The python3 on PATH may not be the one that has dbusmock.
    systemd.start("/usr/bin/python3", {"-m", "dbusmock", "--session", "--template", "systemd", "-l",
                                       QString::fromStdString(calls.string())});
    ASSERT_TRUE(systemd.waitForStarted(5000));
    bool up = false;
    for (int i = 0; i < 300 && !up; ++i) {
        up = bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.systemd1"));
        if (!up)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(up) << "the mocked systemd did not come up";

    const fs::path ran = folder.path / "ran";
    writeScript(folder.path / "scope-probe", "echo $$ > '" + ran.string() + ".tmp'; mv '" + ran.string() + ".tmp' '" + ran.string() + "'",
                fs::perms::owner_all);
    pid_t placedPid = 0;
    bool placed = false;
    bool ranBeforePlaced = true;
    ASSERT_EQ(LinuxProcesses::spawnDetached({(folder.path / "scope-probe").string()},
                                            [&](pid_t pid) {
                                                // Held: a moment to run would be enough to be seen.
                                                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                                                ranBeforePlaced = fs::exists(ran);
                                                placedPid = pid;
                                                placed = UserScope::place(pid, "scope-probe", why, bus);
                                            }),
              0);
    EXPECT_TRUE(placed) << why.toStdString();
    EXPECT_FALSE(ranBeforePlaced) << "the program ran before it had its scope";
    ASSERT_TRUE(waitForFile(ran));
    std::ifstream pidFile(ran);
    pid_t programPid = 0;
    pidFile >> programPid;
    EXPECT_EQ(programPid, placedPid) << "the scope holds another process than the program";

    std::ifstream log(calls);
    const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("StartTransientUnit \"tessel-scope-probe-" + std::to_string(placedPid) + ".scope\" \"fail\""),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("'PIDs'), dbus.Array([dbus.UInt32(" + std::to_string(placedPid) + ")]"), std::string::npos)
        << text;

    systemd.terminate();
    systemd.waitForFinished(3000);
    daemon.terminate();
    daemon.waitForFinished(3000);
}

TEST(LinuxPlatformTest, ModulesAreNamedTheLinuxWay)
{
    EXPECT_EQ(DlModules::fileName("ZentraSw.dll"), "libZentraSw.so");
    EXPECT_EQ(DlModules::fileName("tlxuvc.ax"), "tlxuvc.ax");
    DlModules modules;
    EXPECT_EQ(modules.load("NoSuchModule.dll"), nullptr);
    platform::ModuleHandle libc = modules.load("libc.so.6");
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(modules.lookup(libc, "strlen"), nullptr);
    EXPECT_EQ(modules.lookup(libc, "NoSuchFunction"), nullptr);
    EXPECT_EQ(modules.lookup(nullptr, "strlen"), nullptr);
    EXPECT_TRUE(modules.release(libc));
    EXPECT_FALSE(modules.release(nullptr));
}

TEST(LinuxPlatformTest, SoundsGoToThePlayerTheProgramHandedInAndNowhereWithoutOne)
{
    struct RecordingPlayer final : platform::Sound
    {
        std::vector<std::string> played;
        void play(const std::string &path) override { played.push_back(path); }
    } player;

    platform::Sound &sound = platform::backend().sound();
    sound.play("/before.wav"); // nobody to play it: nothing happens
    platform::useSoundPlayer(&player);
    sound.play("/usr/libexec/tessel/ding.wav");
    platform::useSoundPlayer(nullptr);
    sound.play("/after.wav");
    EXPECT_EQ(player.played, std::vector<std::string>{"/usr/libexec/tessel/ding.wav"});
}
