#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

using namespace std::chrono_literals;

// A stand-in started as a child process with its standard input and output on
// pipes: tests type commands and wait for event lines, as a script would.
class StandInProcess
{
public:
    StandInProcess(const std::string &program, const std::vector<std::string> &arguments);
    ~StandInProcess();
    StandInProcess(const StandInProcess &) = delete;
    StandInProcess &operator=(const StandInProcess &) = delete;

    void send(const std::string &commandLine);
    void closeInput();
    void signal(int signalNumber);

    // The next output line, after the last one waited for, that contains
    // `text`; none when it does not come in time.
    std::optional<std::string> waitForLine(const std::string &text,
                                           std::chrono::milliseconds timeout = 5000ms);
    // Every line seen so far.
    const std::vector<std::string> &lines() const { return output; }
    bool saw(const std::string &text) const;

    // The exit code (128 + signal for a killed child); none while it runs.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = 5000ms);
    bool isRunning();

private:
    bool readOutput(std::chrono::milliseconds timeout);

    pid_t pid = -1;
    int inputFd = -1;
    int outputFd = -1;
    std::string partial;
    std::vector<std::string> output;
    std::size_t nextToSearch = 0;
    bool outputEnded = false;
    std::optional<int> exitCode;
};
