#include "SystemHarness.h"

#include <grp.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <thread>

namespace systemtest {

namespace {

bool pastDeadline(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::steady_clock::now() >= deadline;
}

std::string readFirstLine(const std::filesystem::path &path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace

std::filesystem::path programDirectory()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

int LogFile::countLines(const std::string &text) const
{
    int matches = 0;
    for (const auto &line : lines())
        matches += line == text ? 1 : 0;
    return matches;
}

std::vector<std::string> LogFile::lines() const
{
    std::vector<std::string> result;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

std::optional<std::size_t> LogFile::find(const std::string &text, std::size_t from) const
{
    const auto all = lines();
    for (std::size_t i = from; i < all.size(); ++i)
        if (all[i].find(text) != std::string::npos)
            return i;
    return std::nullopt;
}

std::optional<std::size_t> LogFile::waitFor(const std::string &text, std::chrono::milliseconds timeout,
                                            std::size_t from) const
{
    const auto deadline = std::chrono::steady_clock::now() + timeout * SanitizerSlowdown;
    for (;;) {
        if (const auto found = find(text, from))
            return found;
        if (pastDeadline(deadline))
            return std::nullopt;
        std::this_thread::sleep_for(10ms);
    }
}

int LogFile::count(const std::string &text) const
{
    int matches = 0;
    for (const auto &line : lines())
        matches += line.find(text) != std::string::npos ? 1 : 0;
    return matches;
}

Program::~Program()
{
    if (processId > 0 && !exitCode) {
        ::kill(processId, SIGKILL);
        waitForExit(2s);
    }
}

bool Program::start(const std::filesystem::path &executable, const std::vector<std::string> &arguments,
                    const std::filesystem::path &log)
{
    return startAs(::geteuid(), {}, executable, arguments, log);
}

bool Program::startAs(uid_t uid, const std::vector<std::string> &environment, const std::filesystem::path &executable,
                      const std::vector<std::string> &arguments, const std::filesystem::path &log)
{
    std::vector<const char *> argv{executable.c_str()};
    for (const auto &argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    // Built before the fork: the child only makes system calls.
    std::vector<std::string> variables = environment;
    for (char **entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('=') + 1);
        if (std::none_of(environment.begin(), environment.end(),
                         [&name](const std::string &own) { return own.rfind(name, 0) == 0; }))
            variables.push_back(variable);
    }
    std::vector<const char *> envp;
    for (const auto &variable : variables)
        envp.push_back(variable.c_str());
    envp.push_back(nullptr);
    const bool switchUser = uid != ::geteuid();
    const int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    processId = ::fork();
    if (processId == 0) {
        ::dup2(input, 0);
        ::dup2(output, 1);
        ::dup2(output, 2);
        if (switchUser
            && (::setgroups(0, nullptr) != 0 || ::setresgid(uid, uid, uid) != 0 || ::setresuid(uid, uid, uid) != 0))
            ::_exit(126);
        ::execve(executable.c_str(), const_cast<char *const *>(argv.data()), const_cast<char *const *>(envp.data()));
        ::_exit(127);
    }
    ::close(output);
    ::close(input);
    exitCode.reset();
    return processId > 0;
}

bool Program::running()
{
    if (processId <= 0 || exitCode)
        return false;
    return !waitForExit(0ms);
}

void Program::signal(int number)
{
    if (processId > 0 && !exitCode)
        ::kill(processId, number);
}

std::optional<int> Program::waitForExit(std::chrono::milliseconds timeout)
{
    if (exitCode || processId <= 0)
        return exitCode;
    const auto deadline = std::chrono::steady_clock::now() + timeout * SanitizerSlowdown;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(processId, &status, WNOHANG);
        if (ended == processId) {
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
            return exitCode;
        }
        if (pastDeadline(deadline))
            return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
}

bool eventually(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout * SanitizerSlowdown;
    while (!condition()) {
        if (pastDeadline(deadline))
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::optional<std::string> commandOutput(const std::string &command)
{
    FILE *pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string output;
    char buffer[4096];
    while (const std::size_t count = std::fread(buffer, 1, sizeof buffer, pipe))
        output.append(buffer, count);
    if (::pclose(pipe) != 0)
        return std::nullopt;
    return output;
}

std::optional<std::string> testbedRoot(const LogFile &log)
{
    const std::string marker = "ready root=";
    const auto found = log.find(marker);
    if (!found)
        return std::nullopt;
    const std::string line = log.lines()[*found];
    const auto start = line.find(marker) + marker.size();
    return line.substr(start, line.find(' ', start) - start);
}

bool sendCommand(const std::filesystem::path &fifo, const std::string &line, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        // Without a reader the open fails at once; the stand-in may not have
        // opened its end yet.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            const std::string text = line + "\n";
            const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            ::close(fd);
            return written;
        }
        if (pastDeadline(deadline))
            return false;
        std::this_thread::sleep_for(10ms);
    }
}

std::vector<pid_t> processesNamed(const std::string &name)
{
    std::vector<pid_t> found;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return found;
    while (const dirent *entry = ::readdir(proc)) {
        const std::string pid = entry->d_name;
        if (pid.empty() || pid[0] < '1' || pid[0] > '9')
            continue;
        const std::filesystem::path base = std::filesystem::path("/proc") / pid;
        // A zombie has run its course: it does not count.
        const std::string stat = readFirstLine(base / "stat");
        const auto state = stat.rfind(") ");
        if (state == std::string::npos || stat[state + 2] == 'Z')
            continue;
        std::error_code error;
        const auto executable = std::filesystem::read_symlink(base / "exe", error);
        if (!error && executable.filename() == name)
            found.push_back(static_cast<pid_t>(std::stol(pid)));
    }
    ::closedir(proc);
    return found;
}

bool waitForProcessCount(const std::string &name, std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout * SanitizerSlowdown;
    while (processesNamed(name).size() != count) {
        if (pastDeadline(deadline))
            return false;
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

int openDescriptors(pid_t pid)
{
    int count = 0;
    std::error_code error;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
        (void)entry;
        ++count;
    }
    return error ? -1 : count;
}

namespace {

long statusField(pid_t pid, const std::string &field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

} // namespace

int threadCount(pid_t pid)
{
    return static_cast<int>(statusField(pid, "Threads"));
}

long residentKiB(pid_t pid)
{
    return statusField(pid, "VmRSS");
}

} // namespace systemtest
