#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace camera_standin {

ChildProcess::~ChildProcess()
{
    stop(std::chrono::milliseconds(2000));
}

bool ChildProcess::start(const std::vector<std::string> &argv, int &error)
{
    if (argv.empty() || running()) {
        error = EINVAL;
        return false;
    }
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);

    // The child reports a failed exec through this pipe; a successful exec
    // closes it.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = errno;
        return false;
    }
    // Opened here, not in the child: between fork and exec the child may
    // call nothing that umockdev's preload wraps (open, read, write), as
    // another thread of ours may have held the preload's locks at the fork.
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t child = ::fork();
    if (child < 0) {
        error = errno;
        ::close(report[0]);
        ::close(report[1]);
        if (devNull >= 0)
            ::close(devNull);
        return false;
    }
    if (child == 0) {
        ::setpgid(0, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGPIPE, SIG_DFL);
        if (devNull >= 0)
            ::dup2(devNull, STDIN_FILENO);
        ::execvp(args[0], args.data());
        const int failure = errno;
        [[maybe_unused]] const long written = ::syscall(SYS_write, report[1], &failure, sizeof failure);
        ::_exit(127);
    }
    if (devNull >= 0)
        ::close(devNull);
    ::close(report[1]);
    int failure = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &failure, sizeof failure);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof failure)) {
        ::waitpid(child, nullptr, 0);
        error = failure;
        return false;
    }
    pid = child;
    return true;
}

std::optional<int> ChildProcess::reap()
{
    if (!running())
        return std::nullopt;
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) != pid)
        return std::nullopt;
    pid = -1;
    return status;
}

std::optional<int> ChildProcess::stop(std::chrono::milliseconds grace)
{
    if (!running())
        return std::nullopt;
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM); // in case it left our group
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (const std::optional<int> status = reap())
            return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    return status;
}

std::string ChildProcess::describe(int status)
{
    if (WIFSIGNALED(status))
        return "signal=" + std::to_string(WTERMSIG(status));
    return "status=" + std::to_string(WEXITSTATUS(status));
}

int ChildProcess::exitCode(int status)
{
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

} // namespace camera_standin
