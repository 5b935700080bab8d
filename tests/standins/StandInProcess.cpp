#include "StandInProcess.h"

#include "SanitizerSlowdown.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

StandInProcess::StandInProcess(const std::string &program, const std::vector<std::string> &arguments)
{
    std::signal(SIGPIPE, SIG_IGN);
    int toChild[2];
    int fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
        std::abort();
    pid = ::fork();
    if (pid == 0) {
        ::dup2(toChild[0], 0);
        ::dup2(fromChild[1], 1);
        // Options in the environment of whoever runs the tests must not leak in.
        ::unsetenv("TESSEL_OPTIONS");
        ::unsetenv("BRIVARADRIVER_OPTIONS");
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const std::string &argument : arguments)
            argv.push_back(const_cast<char *>(argument.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    inputFd = toChild[1];
    outputFd = fromChild[0];
}

StandInProcess::~StandInProcess()
{
    if (!exitCode) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    closeInput();
    ::close(outputFd);
}

void StandInProcess::send(const std::string &commandLine)
{
    const std::string line = commandLine + "\n";
    [[maybe_unused]] const ssize_t written = ::write(inputFd, line.data(), line.size());
}

void StandInProcess::closeInput()
{
    if (inputFd >= 0)
        ::close(inputFd);
    inputFd = -1;
}

void StandInProcess::signal(int signalNumber)
{
    ::kill(pid, signalNumber);
}

bool StandInProcess::readOutput(std::chrono::milliseconds timeout)
{
    pollfd polled{outputFd, POLLIN, 0};
    if (::poll(&polled, 1, static_cast<int>(timeout.count())) <= 0)
        return false;
    char buffer[4096];
    const ssize_t got = ::read(outputFd, buffer, sizeof buffer);
    if (got <= 0) {
        outputEnded = got == 0;
        return false;
    }
    for (ssize_t i = 0; i < got; ++i) {
        if (buffer[i] == '\n') {
            output.push_back(std::move(partial));
            partial.clear();
        } else {
            partial += buffer[i];
        }
    }
    return true;
}

std::optional<std::string> StandInProcess::waitForLine(const std::string &text, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout * SanitizerSlowdown;
    while (true) {
        for (; nextToSearch < output.size(); ++nextToSearch) {
            if (output[nextToSearch].find(text) != std::string::npos)
                return output[nextToSearch++];
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (outputEnded || left.count() <= 0)
            return std::nullopt;
        readOutput(left);
    }
}

bool StandInProcess::saw(const std::string &text) const
{
    for (const std::string &line : output) {
        if (line.find(text) != std::string::npos)
            return true;
    }
    return false;
}

std::optional<int> StandInProcess::waitForExit(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout * SanitizerSlowdown;
    while (!exitCode) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return std::nullopt;
        if (outputEnded)
            ::usleep(10'000);
        else
            readOutput(10ms); // keeps the pipe drained, and paces the loop
    }
    while (readOutput(0ms)) {
    }
    return exitCode;
}

bool StandInProcess::isRunning()
{
    return !waitForExit(0ms).has_value();
}
