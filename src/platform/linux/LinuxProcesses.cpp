#include "LinuxProcesses.h"

#include "ProgramFiles.h"
#include "UserScope.h"

#include <QDebug>

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
#include <mutex>
#include <strings.h>

extern char **environ;

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

namespace {

// The watchdog's environment for what it starts, less what tells the
// watchdog that systemd supervises it: the programs it starts are not
// supervised, and a fresh copy started outside the unit must not think so.
std::vector<std::string> childEnvironment()
{
    static constexpr char Supervised[] = "TESSEL_WATCHDOG_SUPERVISED=";
    std::vector<std::string> entries;
    for (char **entry = environ; entry && *entry; ++entry)
        if (std::strncmp(*entry, Supervised, sizeof Supervised - 1) != 0)
            entries.emplace_back(*entry);
    return entries;
}

std::vector<char *> pointersTo(const std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    for (const std::string &text : strings)
        pointers.push_back(const_cast<char *>(text.c_str()));
    pointers.push_back(nullptr);
    return pointers;
}

// Async-signal-safe: every handler back to the default before any signal is
// unblocked, so that neither the watchdog's handlers (in the child, before
// exec) nor its ignored signals (which exec keeps) reach the program.
void defaultSignalHandling()
{
    struct sigaction standard{};
    standard.sa_handler = SIG_DFL;
    ::sigemptyset(&standard.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &standard, nullptr); // SIGKILL, SIGSTOP and the C library's own refuse: fine
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

bool readWhole(int fd, void *buffer, std::size_t size)
{
    ssize_t got;
    do {
        got = ::read(fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    return got == static_cast<ssize_t>(size);
}

void closeBoth(int (&ends)[2])
{
    ::close(ends[0]);
    ::close(ends[1]);
}

} // namespace

int LinuxProcesses::spawnDetached(const std::vector<std::string> &argv, const BeforeExec &beforeExec)
{
    if (argv.empty())
        return ENOENT;
    // Everything the children need is made before fork: after it, only
    // async-signal-safe calls.
    const std::vector<char *> args = pointersTo(argv);
    const std::vector<std::string> environment = childEnvironment();
    const std::vector<char *> envp = pointersTo(environment);

    // report: the grandchild's pid (from the child), then a failed exec's
    // errno (from the grandchild; a successful exec closes it unread).
    // gate: the grandchild waits on it until it has been placed.
    int report[2];
    int gate[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return errno;
    if (::pipe2(gate, O_CLOEXEC) != 0) {
        const int error = errno;
        closeBoth(report);
        return error;
    }
    const long descriptorLimit = ::sysconf(_SC_OPEN_MAX);

    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        closeBoth(report);
        closeBoth(gate);
        return error;
    }
    if (child == 0) {
        defaultSignalHandling();
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild == 0) {
            ::close(gate[1]);
            char go = 0;
            // The end of the pipe: the watchdog has placed it, or is gone.
            while (::read(gate[0], &go, 1) < 0 && errno == EINTR) {
            }
            // The program gets our standard streams and nothing else: a
            // descriptor that a library opened without close-on-exec would
            // otherwise live on in it, and in every fresh copy after it.
            if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
                for (int fd = 3; fd < descriptorLimit; ++fd)
                    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            }
            ::execve(args[0], args.data(), envp.data());
            const int error = errno;
            [[maybe_unused]] ssize_t ignored = ::write(report[1], &error, sizeof error);
            ::_exit(127);
        }
        if (grandchild > 0) {
            [[maybe_unused]] ssize_t ignored = ::write(report[1], &grandchild, sizeof grandchild);
        }
        ::_exit(grandchild < 0 ? 1 : 0);
    }

    ::close(report[1]);
    ::close(gate[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    pid_t started = 0;
    const bool forked = readWhole(report[0], &started, sizeof started);
    if (forked && beforeExec)
        beforeExec(started);
    // Whatever became of the placing, the program runs: the end of the pipe
    // lets it go (a byte could meet a reader that is gone, and SIGPIPE).
    ::close(gate[1]);
    int error = 0;
    const bool failed = forked && readWhole(report[0], &error, sizeof error);
    ::close(report[0]);
    if (failed)
        return error;
    if (!forked || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return ECHILD;
    return 0;
}

void LinuxProcesses::placeInOwnScope(pid_t pid, const std::string &name)
{
    QString why;
    if (UserScope::place(pid, name, why))
        return;
    // Tests, containers, desktops without a user systemd: the program runs
    // all the same, as a child of nobody. Said once.
    static std::once_flag told;
    std::call_once(told, [&why] {
        qDebug().noquote() << "<LinuxProcesses::placeInOwnScope()> No user systemd to give started programs a scope"
                              " of their own ("
                               + why + "); they run without one";
    });
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

    const std::string name = baseName(path);
    switch (spawnDetached(argv, [&name](pid_t pid) { placeInOwnScope(pid, name); })) {
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

bool LinuxProcesses::openWebPage(const std::string &url)
{
    std::string opener;
    if (findProgram("xdg-open", opener) != ProgramLookup::Found)
        return false;
    // The browser xdg-open starts is its child: the scope holds both, and
    // neither ends with the watchdog's service.
    return spawnDetached({opener, url}, [](pid_t pid) { placeInOwnScope(pid, "browser"); }) == 0;
}

} // namespace platform::linux_backend
