// On a terminal the updater draws a progress bar on standard error, and
// standard output still carries exactly the texts it carries into a pipe.
// Each stream gets a pseudo-terminal of its own, in raw mode so that the
// terminal passes bytes through unchanged.
#include "support/UpdaterSandbox.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace {

using namespace updater_tests;

struct Terminal
{
    int controller = -1;
    int device = -1;

    Terminal()
    {
        controller = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (controller < 0 || ::grantpt(controller) != 0 || ::unlockpt(controller) != 0)
            return;
        device = ::open(::ptsname(controller), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios mode{};
        ::tcgetattr(device, &mode);
        ::cfmakeraw(&mode);
        ::tcsetattr(device, TCSANOW, &mode);
    }
    ~Terminal()
    {
        for (int fd : {controller, device})
            if (fd >= 0)
                ::close(fd);
    }
};

// Reads until the terminal's device side is closed by everyone (EIO).
void readAll(Terminal (&terminals)[2], std::string (&texts)[2])
{
    bool open[2] = {true, true};
    while (open[0] || open[1]) {
        pollfd polled[2] = {{terminals[0].controller, POLLIN, 0}, {terminals[1].controller, POLLIN, 0}};
        if (::poll(polled, 2, 10000) <= 0)
            return;
        for (int i = 0; i < 2; ++i) {
            if (!open[i] || !polled[i].revents)
                continue;
            char buffer[4096];
            const ssize_t got = ::read(terminals[i].controller, buffer, sizeof buffer);
            if (got > 0)
                texts[i].append(buffer, static_cast<std::size_t>(got));
            else
                open[i] = false;
        }
    }
}

TEST(UpdaterOnATerminal, ProgressBarGoesToStandardErrorOnly)
{
    UpdaterSandbox sandbox;
    sandbox.writeImageWithChecksum("image.bin", makeImage(16384, 20));
    const std::string statePath = (sandbox.folders().work / "state.txt").string();

    Terminal terminals[2];
    ASSERT_GE(terminals[0].device, 0);
    ASSERT_GE(terminals[1].device, 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(terminals[0].device, STDOUT_FILENO);
        ::dup2(terminals[1].device, STDERR_FILENO);
        if (::chdir(sandbox.folders().work.c_str()) != 0)
            ::_exit(126);
        ::setenv("ZENTRASW_STATE", statePath.c_str(), 1);
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/system_bus_socket", 1);
        const std::string program = sandbox.programFile().string();
        ::execl(program.c_str(), program.c_str(), "/file", "image.bin", static_cast<char *>(nullptr));
        ::_exit(127);
    }
    for (auto &terminal : terminals) {
        ::close(terminal.device);
        terminal.device = -1;
    }
    std::string texts[2];
    readAll(terminals, texts);
    int status = 0;
    ::waitpid(child, &status, 0);

    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(texts[0], "UPDATE\n5\nVERIFY\n5\nFirmware Updated\n");
    // 26 calls make 5%: two of the bar's fifty characters and its head.
    EXPECT_NE(texts[1].find("\rphase 0 [==>  "), std::string::npos);
    EXPECT_NE(texts[1].find("\rphase 1 ["), std::string::npos);
    // The one whole line is the note that nothing keeps the machine awake;
    // it comes before the bar.
    ASSERT_EQ(texts[1].rfind(NOT_KEPT_AWAKE, 0), 0u) << texts[1];
    EXPECT_EQ(texts[1].find('\n'), std::string(NOT_KEPT_AWAKE).size() - 1);
    EXPECT_EQ(texts[1].back(), '\r');
}

} // namespace
