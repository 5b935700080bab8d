#include "LinuxProcesses.h"

#include "ProgramFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <strings.h>

namespace platform::linux_backend {

namespace {

std::string baseName(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The executable name of a process: the target of /proc/PID/exe when we may
// read it, else the first word of its command line, else its comm.
std::string executableName(const std::string &pid)
{
    const std::string base = "/proc/" + pid;
    char target[4096];
    const ssize_t length = ::readlink((base + "/exe").c_str(), target, sizeof target - 1);
    if (length > 0) {
        std::string path(target, static_cast<std::size_t>(length));
        constexpr const char deleted[] = " (deleted)";
        if (path.size() > sizeof deleted - 1
            && path.compare(path.size() - (sizeof deleted - 1), std::string::npos, deleted) == 0)
            path.resize(path.size() - (sizeof deleted - 1));
        return baseName(path);
    }
    std::ifstream cmdline(base + "/cmdline", std::ios::binary);
    std::string first;
    if (std::getline(cmdline, first, '\0') && !first.empty())
        return baseName(first);
    std::ifstream comm(base + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// A process that has exited but is not yet reaped (state Z) or is being
// reaped (X) keeps its /proc entry and its comm, but it runs no more. The
// state follows the comm field, which may itself hold spaces and ')'.
bool hasExited(const std::string &pid)
{
    std::ifstream statFile("/proc/" + pid + "/stat");
    std::string stat;
    if (!std::getline(statFile, stat))
        return true; // gone already
    const auto commEnd = stat.rfind(')');
    if (commEnd == std::string::npos || commEnd + 2 >= stat.size())
        return true;
    const char state = stat[commEnd + 2];
    return state == 'Z' || state == 'X';
}

// The real uid of a process (the first of the four on the "Uid:" line).
std::optional<uid_t> realUid(const std::string &pid)
{
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Uid:", 0) == 0) {
            unsigned long uid = 0;
            if (std::sscanf(line.c_str() + 4, "%lu", &uid) == 1)
                return static_cast<uid_t>(uid);
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// The uid of the login a process descends from; the kernel keeps it through
// setuid programs such as pkexec. Unset (-1) outside an audited login.
std::optional<uid_t> loginUid(const std::string &pid)
{
    std::ifstream file("/proc/" + pid + "/loginuid");
    unsigned long uid = 0;
    if (!(file >> uid) || uid == static_cast<uid_t>(-1))
        return std::nullopt;
    return static_cast<uid_t>(uid);
}

// A viewer or driver of another user on the same machine is none of ours:
// a click here must not be taken for theirs. A process of ours that was
// elevated through pkexec (the viewer's "runas" start) runs as root but
// still comes from our login.
bool belongsToThisUser(const std::string &pid)
{
    const std::optional<uid_t> uid = realUid(pid);
    if (!uid)
        return false;
    if (*uid == ::getuid())
        return true;
    if (*uid != 0)
        return false;
    static const std::optional<uid_t> ourLogin = loginUid("self");
    return ourLogin && loginUid(pid) == ourLogin;
}

} // namespace

bool LinuxProcesses::isProcessRunning(const std::string &exeName, bool &running)
{
    running = false;
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return false;
    const std::string wanted = withoutExeSuffix(exeName);
    while (const dirent *entry = ::readdir(proc)) {
        if (entry->d_name[0] < '1' || entry->d_name[0] > '9')
            continue;
        const std::string name = withoutExeSuffix(executableName(entry->d_name));
        if (!name.empty() && ::strcasecmp(name.c_str(), wanted.c_str()) == 0 && !hasExited(entry->d_name)
            && belongsToThisUser(entry->d_name)) {
            running = true;
            break;
        }
    }
    ::closedir(proc);
    return true;
}

int LinuxProcesses::spawnDetached(const std::vector<std::string> &argv)
{
    if (argv.empty())
        return ENOENT;
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful
    // exec closes it unread.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return errno;
    const long descriptorLimit = ::sysconf(_SC_OPEN_MAX);

    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return error;
    }
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            // The program gets our standard streams and nothing else: a
            // descriptor that a library opened without close-on-exec would
            // otherwise live on in it, and in every fresh copy after it.
            if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
                for (int fd = 3; fd < descriptorLimit; ++fd)
                    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            }
            ::execv(args[0], args.data());
            const int error = errno;
            [[maybe_unused]] ssize_t ignored = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        ::_exit(grandchild < 0 ? 1 : 0);
    }

    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof error))
        return error;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return ECHILD;
    return 0;
}

bool LinuxProcesses::startDetached(const std::string &program)
{
    std::string path;
    if (findProgram(program, path) != ProgramLookup::Found)
        return false;
    return spawnDetached({path}) == 0;
}

int LinuxProcesses::shellExecute(const std::string &verb, const std::string &file)
{
    std::string path;
    switch (findProgram(file, path)) {
    case ProgramLookup::NotFound:
        return SE_ERR_FNF;
    case ProgramLookup::NotExecutable:
        if (verb != "runas")
            return SE_ERR_ACCESSDENIED;
        break;
    case ProgramLookup::Found:
        break;
    }

    std::vector<std::string> argv{path};
    if (verb == "runas") {
        std::string pkexec;
        if (findProgram("pkexec", pkexec) != ProgramLookup::Found)
            return SE_ERR_FNF;
        argv.insert(argv.begin(), pkexec);
    } else if (verb != "open") {
        return SE_ERR_FNF;
    }

    switch (spawnDetached(argv)) {
    case 0:
        return SHELL_EXECUTE_SUCCESS;
    case EACCES:
    case EPERM:
        return SE_ERR_ACCESSDENIED;
    case ENOENT:
        return SE_ERR_FNF;
    default:
        return 0; // out of resources
    }
}

} // namespace platform::linux_backend
