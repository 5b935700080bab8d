// tesselcamera as tests and scripts use it: a program under the testbed,
// commands through the control FIFO, events on standard output, and a clean
// end on a command, on the program's exit, on end of file and on SIGTERM.
#include "TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>

using namespace std::chrono_literals;

namespace {

class TemporaryFolder
{
public:
    TemporaryFolder()
    {
        char pattern[] = "/tmp/tesselcamera-test-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path); }
    std::string file(const std::string &name) const { return path + "/" + name; }

private:
    std::string path;
};

// tesselcamera with its event lines collected.
class CameraProgram
{
public:
    explicit CameraProgram(const QStringList &arguments)
    {
        process.setStandardInputFile(QProcess::nullDevice());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(TESSELCAMERA_PROGRAM, arguments);
    }

    ~CameraProgram()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    // Waits for a line that starts with prefix; returns it, or nothing.
    std::optional<std::string> waitFor(const std::string &prefix, std::chrono::milliseconds timeout = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            while (process.canReadLine())
                lines.push_back(process.readLine().trimmed().toStdString());
            for (const std::string &line : lines) {
                if (line.rfind(prefix, 0) == 0)
                    return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return std::nullopt;
            process.waitForReadyRead(static_cast<int>(std::min<long>(left.count(), 100)));
        }
    }

    std::string transcript() const
    {
        std::string text;
        for (const std::string &line : lines)
            text += line + "\n";
        return text;
    }

    QProcess process;
    std::vector<std::string> lines;
};

// Non-blocking: with tesselcamera gone there is no reader, and a blocking
// open would wait for ever.
bool sendCommand(const std::string &fifo, const std::string &command)
{
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const std::string line = command + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    return written;
}

TEST(TesselCameraProgram, PlaysTheCameraForAProgramRunUnderIt)
{
    TemporaryFolder folder;
    const std::string fifo = folder.file("control");
    const std::string state = folder.file("state");
    CameraProgram camera({"--control", QString::fromStdString(fifo), "--state", QString::fromStdString(state),
                          "--exit-with-child", "--", CAMERA_PROBE_PROGRAM});

    ASSERT_TRUE(camera.waitFor("ready root=")) << camera.transcript();
    ASSERT_TRUE(camera.waitFor("probe open len=65 vid=7a3e pid=4b20")) << camera.transcript();
    ASSERT_TRUE(camera.waitFor("open node=/dev/hidraw0"));
    ASSERT_TRUE(sendCommand(fifo, "press light hold")) << camera.transcript();
    EXPECT_TRUE(camera.waitFor("probe report len=65 b9=00 b10=20")) << camera.transcript();
    EXPECT_TRUE(camera.waitFor("write len=65 button=0x04")) << camera.transcript();
    EXPECT_TRUE(camera.waitFor("light on")) << camera.transcript();
    EXPECT_TRUE(camera.waitFor("probe answer len=65"));
    EXPECT_TRUE(camera.waitFor("write len=65 zero")) << "the probe's poll write";
    {
        std::ifstream stateFile(state);
        std::string line;
        std::getline(stateFile, line);
        EXPECT_EQ(line, "light=1");
    }

    ASSERT_TRUE(sendCommand(fifo, "unplug camera")) << camera.transcript();
    EXPECT_TRUE(camera.waitFor("probe gone")) << camera.transcript();
    EXPECT_TRUE(camera.waitFor("child exit status=0")) << camera.transcript();
    EXPECT_TRUE(camera.waitFor("quit reason=child"));
    ASSERT_TRUE(camera.process.waitForFinished(10000));
    EXPECT_EQ(camera.process.exitCode(), 0);
    EXPECT_FALSE(std::filesystem::exists(fifo)) << "the FIFO it made is removed";
}

TEST(TesselCameraProgram, SigtermEndsItAndTheProgramUnderIt)
{
    CameraProgram camera({"--", "sleep", "60"});
    const auto started = camera.waitFor("child start pid=");
    ASSERT_TRUE(started) << camera.transcript();
    const pid_t child = std::stoi(started->substr(std::string("child start pid=").size()));
    camera.process.terminate();
    EXPECT_TRUE(camera.waitFor("child exit signal=15")) << camera.transcript();
    EXPECT_TRUE(camera.waitFor("quit reason=signal"));
    ASSERT_TRUE(camera.process.waitForFinished(10000));
    EXPECT_EQ(camera.process.exitCode(), 0);
    EXPECT_EQ(::kill(child, 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST(TesselCameraProgram, EndOfTheControlFifoEndsItWhenAskedTo)
{
    TemporaryFolder folder;
    const std::string fifo = folder.file("control");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    CameraProgram camera({"--control", QString::fromStdString(fifo), "--quit-on-eof", "--unplugged"});
    ASSERT_TRUE(camera.waitFor("ready root="));
    ASSERT_TRUE(sendCommand(fifo, "status"));
    EXPECT_TRUE(camera.waitFor("status camera=unplugged"));
    EXPECT_TRUE(camera.waitFor("quit reason=eof")) << camera.transcript();
    ASSERT_TRUE(camera.process.waitForFinished(10000));
    EXPECT_EQ(camera.process.exitCode(), 0);
    EXPECT_TRUE(std::filesystem::exists(fifo)) << "a FIFO it did not make stays";
}

TEST(TesselCameraProgram, BadOptionsAndCommandsAreReported)
{
    CameraProgram badOption({"--frobnicate"});
    ASSERT_TRUE(badOption.process.waitForFinished(10000));
    EXPECT_EQ(badOption.process.exitCode(), 2);

    CameraProgram missingProgram({"--", "/nonexistent/program"});
    EXPECT_TRUE(missingProgram.waitFor("error cannot start /nonexistent/program"));
    ASSERT_TRUE(missingProgram.process.waitForFinished(10000));
    EXPECT_EQ(missingProgram.process.exitCode(), 3);
}

} // namespace
