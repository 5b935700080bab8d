#include "support/TestPlatform.h"

#include "platform/ProgramFile.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace updater_tests {

const char *const UPDATER_PROGRAM = "ZentraUpdater";
const char *const CONTROL_LIBRARY = "libZentraSw.so";
const char *const FILTER_MODULE = "tlxuvc.ax";
const char *const TEXT_LINE_END = "\n";
const char *const LIBRARY_PLACES = "beside the program or on the system's library path";
const char *const NOT_KEPT_AWAKE =
    "The machine is not kept awake during the update (no system bus: No such file or directory)\n";

namespace {

constexpr auto CHILD_TIME_LIMIT = std::chrono::seconds(60);

void readAvailable(int &fd, std::string &into)
{
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
        into.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
        ::close(fd);
        fd = -1;
    }
}

[[noreturn]] void execChild(const ChildCommand &command, int outFd, int errFd)
{
    ::dup2(outFd, STDOUT_FILENO);
    ::dup2(errFd, STDERR_FILENO);
    if (!command.workingDirectory.empty() && ::chdir(command.workingDirectory.c_str()) != 0)
        ::_exit(126);
    for (const auto &[name, value] : command.environment)
        ::setenv(name.c_str(), value.c_str(), 1);
    std::vector<std::string> words{command.program.string()};
    words.insert(words.end(), command.arguments.begin(), command.arguments.end());
    std::vector<char *> argv;
    for (auto &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    ::execv(command.program.c_str(), argv.data());
    ::_exit(127);
}

} // namespace

ChildResult runChild(const ChildCommand &command)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0)
        execChild(command, outPipe[1], errPipe[1]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);

    ChildResult result;
    int fds[2] = {outPipe[0], errPipe[0]};
    const auto deadline = std::chrono::steady_clock::now() + CHILD_TIME_LIMIT;
    while (fds[0] >= 0 || fds[1] >= 0) {
        pollfd polled[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        if (::poll(polled, 2, 1000) < 0 && errno != EINTR)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            break;
        }
        if (fds[0] >= 0 && polled[0].revents)
            readAvailable(fds[0], result.out);
        if (fds[1] >= 0 && polled[1].revents)
            readAvailable(fds[1], result.err);
    }
    for (int fd : fds)
        if (fd >= 0)
            ::close(fd);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::filesystem::path runtimeDirectory()
{
    const auto self = platform::programFilePath();
    if (!self)
        throw std::runtime_error("cannot tell the test program's own path");
    return std::filesystem::path(*self).parent_path();
}

void setEnvironmentVariable(const std::string &name, const std::string &value)
{
    ::setenv(name.c_str(), value.c_str(), 1);
}

// On Linux the filter is in place beside the program. Otherwise the updater
// runs "regfilter": the stand-in below logs its arguments and, when the
// filter is registrable, links the module of the current directory into a
// folder on the loader's path.
Environment arrangeFilter(const SandboxFolders &folders, FilterSetup setup)
{
    const auto filters = folders.tools.parent_path() / "filters";
    std::filesystem::create_directories(filters);
    std::filesystem::create_directories(folders.tools);
    const auto module = runtimeDirectory() / FILTER_MODULE;
    if (setup == FilterSetup::InPlace)
        std::filesystem::copy_file(module, folders.program / FILTER_MODULE);
    if (setup == FilterSetup::Registrable)
        std::filesystem::copy_file(module, folders.work / FILTER_MODULE);

    const auto command = folders.tools / "regfilter";
    std::ofstream script(command);
    script << "#!/bin/sh\n"
           << "echo \"regfilter $*\" >> '" << folders.callLog.string() << "'\n";
    if (setup == FilterSetup::Registrable)
        script << "case \"$2\" in\n"
               << "  /u) rm -f '" << filters.string() << "/tlxuvc.ax' ;;\n"
               << "  *) cp \"$2\" '" << filters.string() << "/' ;;\n"
               << "esac\n";
    script.close();
    std::filesystem::permissions(command, std::filesystem::perms::owner_all);

    const char *path = std::getenv("PATH");
    return {{"PATH", folders.tools.string() + ":" + (path ? path : "/usr/bin:/bin")},
            {"LD_LIBRARY_PATH", filters.string()}};
}

bool filterAvailable(const SandboxFolders &folders)
{
    return std::filesystem::exists(folders.program / FILTER_MODULE)
           || std::filesystem::exists(folders.tools.parent_path() / "filters" / FILTER_MODULE);
}

std::string filterState(FilterSetup)
{
    return "";
}

std::vector<std::string> registrationLogLines(FilterSetup)
{
    return {"regfilter /s tlxuvc.ax", "regfilter /s /u tlxuvc.ax"};
}

std::filesystem::path makeUnopenablePath(const std::filesystem::path &folder)
{
    // A socket exists for stat(), but open() refuses it (ENXIO), also for root.
    const auto path = folder / "socket.bin";
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot make a socket file");
    ::close(fd);
    return path;
}

} // namespace updater_tests
