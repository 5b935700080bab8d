#pragma once

#include "SanitizerSlowdown.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace systemtest {

using namespace std::chrono_literals;


// The folder of the programs under test (this test's own folder).
std::filesystem::path programDirectory();

// Lines of a log file that a program appends to.
class LogFile
{
public:
    explicit LogFile(std::filesystem::path path) : file(std::move(path)) {}

    const std::filesystem::path &path() const { return file; }
    std::vector<std::string> lines() const;
    // Index of the first line at or after `from` that contains `text`.
    std::optional<std::size_t> find(const std::string &text, std::size_t from = 0) const;
    // Waits for such a line; its index, or nothing on time-out.
    std::optional<std::size_t> waitFor(const std::string &text, std::chrono::milliseconds timeout = 5s,
                                       std::size_t from = 0) const;
    int count(const std::string &text) const;
    // Lines that are exactly `text`.
    int countLines(const std::string &text) const;
    std::size_t size() const { return lines().size(); }

private:
    std::filesystem::path file;
};

// A program started with its output (stdout and stderr) appended to a log.
class Program
{
public:
    Program() = default;
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    bool start(const std::filesystem::path &executable, const std::vector<std::string> &arguments,
               const std::filesystem::path &log);
    // The same as another user (uid and gid `uid`, no supplementary groups),
    // with these "NAME=value" entries in place of the inherited ones.
    bool startAs(uid_t uid, const std::vector<std::string> &environment, const std::filesystem::path &executable,
                 const std::vector<std::string> &arguments, const std::filesystem::path &log);
    pid_t pid() const { return processId; }
    bool running();
    void signal(int number);
    // The exit code, or nothing if it did not end in time (-signal when a
    // signal ended it).
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = 5s);

private:
    pid_t processId = -1;
    std::optional<int> exitCode;
};

// Waits until the condition holds.
bool eventually(const std::function<bool()> &condition, std::chrono::milliseconds timeout = 5s);

// Runs a shell command line; its standard output, or nothing when it could
// not run or exited with a failure. Its standard error is dropped.
std::optional<std::string> commandOutput(const std::string &command);

// The camera stand-in's testbed folder, from its "ready root=DIR ..." line
// in `log`; nothing before the testbed is up. A program run in it needs
// UMOCKDEV_DIR set to the folder and umockdev's preload library.
std::optional<std::string> testbedRoot(const LogFile &log);

// Writes one command line to a stand-in's control FIFO.
bool sendCommand(const std::filesystem::path &fifo, const std::string &line,
                 std::chrono::milliseconds timeout = 3s);

// Live processes of this namespace whose executable has the given name.
std::vector<pid_t> processesNamed(const std::string &name);
// Waits until the count of such processes is `count`.
bool waitForProcessCount(const std::string &name, std::size_t count, std::chrono::milliseconds timeout = 5s);

int openDescriptors(pid_t pid);
int threadCount(pid_t pid);
long residentKiB(pid_t pid);

} // namespace systemtest
