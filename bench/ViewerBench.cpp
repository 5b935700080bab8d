// The viewer's figures under the emulated camera, in private network and pid
// namespaces with an X server of its own: time from the viewer's start to
// the first frame on the screen, and its processor use while it shows the
// camera's 30 frames a second.
//
//   viewer_bench [starts] [seconds]
#include "BenchProcesses.h"
#include "Percentiles.h"

#include "NamespaceEntry.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using bench::cpuSeconds;
using bench::programs;
using bench::spawn;
using bench::stop;

namespace {

const fs::path DesktopFolder = TESSEL_DESKTOP_FOLDER;

bool logHas(const fs::path &log, const std::string &text)
{
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.find(text) != std::string::npos)
            return true;
    return false;
}

std::optional<Clock::time_point> waitFor(const fs::path &log, const std::string &text, std::chrono::seconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        if (logHas(log, text))
            return Clock::now();
        std::this_thread::sleep_for(2ms);
    }
    return std::nullopt;
}

std::string lineWith(const fs::path &log, const std::string &text)
{
    std::ifstream in(log);
    std::string found;
    for (std::string line; std::getline(in, line);)
        if (line.find(text) != std::string::npos)
            found = line;
    return found;
}

// The frames the camera stand-in has delivered so far, from its status line.
long framesDelivered(const fs::path &control, const fs::path &log)
{
    std::ofstream(control) << "status\n";
    std::this_thread::sleep_for(200ms);
    const std::string line = lineWith(log, "status camera=");
    const auto at = line.find("frames=");
    return at == std::string::npos ? -1 : std::stol(line.substr(at + 7));
}

} // namespace

int main(int argc, char **argv)
{
    const int entered = enterPrivateNamespaces(argc, argv);
    if (entered >= 0)
        return entered;
    const int starts = argc > 1 ? std::atoi(argv[1]) : 5;
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 10;

    char pattern[] = "/tmp/tessel-viewer-bench-XXXXXX";
    const fs::path folder = ::mkdtemp(pattern);
    ::setenv("HOME", folder.c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    ::setenv("ZENTRASW_STATE", (folder / "zentrasw.state").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);

    int pipe[2];
    if (::pipe(pipe) != 0)
        return 1;
    const pid_t display = spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(pipe[1]), "-screen", "0",
                                 "1280x800x24", "-nolisten", "tcp"},
                                folder / "xvfb.log");
    ::close(pipe[1]);
    char number[16] = {};
    pollfd readable{pipe[0], POLLIN, 0};
    if (::poll(&readable, 1, 10000) <= 0 || ::read(pipe[0], number, sizeof number - 1) <= 0) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    ::setenv("DISPLAY", (":" + std::string(number).substr(0, std::string(number).find('\n'))).c_str(), 1);

    const fs::path cameraLog = folder / "camera.log";
    const fs::path control = folder / "camera.ctl";
    const pid_t camera = spawn({(programs() / "tesselcamera").string(), "--control", control.string(), "--",
                                (DesktopFolder / "tesselwatchdogapplication").string()},
                               cameraLog);
    if (!waitFor(cameraLog, "Socket bind successfully", 10s)) {
        std::fprintf(stderr, "the watchdog did not start\n");
        return 1;
    }
    const std::string ready = lineWith(cameraLog, "ready root=");
    const std::string root = ready.substr(ready.find("root=") + 5, ready.find(' ', ready.find("root=")) - ready.find("root=") - 5);
    ::setenv("UMOCKDEV_DIR", root.c_str(), 1);
    ::setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);

    Percentiles firstFrame;
    double cpuPercent = 0;
    double framesPerSecond = 0;
    for (int run = 0; run < starts; ++run) {
        const fs::path viewerLog = folder / ("viewer-" + std::to_string(run) + ".log");
        const auto started = Clock::now();
        const pid_t viewer = spawn({(DesktopFolder / "tessel").string()}, viewerLog);
        const auto shown = waitFor(viewerLog, "first frame shown", 30s);
        if (!shown) {
            std::fprintf(stderr, "no frame within 30 s (run %d)\n", run);
            stop(viewer);
            break;
        }
        firstFrame.add(*shown - started);
        if (run == starts - 1) {
            std::this_thread::sleep_for(1s); // past the start's own work
            const long framesBefore = framesDelivered(control, cameraLog);
            const double cpuBefore = cpuSeconds(viewer);
            const auto from = Clock::now();
            std::this_thread::sleep_for(std::chrono::seconds(seconds));
            const double cpuUsed = cpuSeconds(viewer) - cpuBefore;
            const double elapsed = std::chrono::duration<double>(Clock::now() - from).count();
            const long frames = framesDelivered(control, cameraLog) - framesBefore;
            cpuPercent = 100.0 * cpuUsed / elapsed;
            framesPerSecond = double(frames) / elapsed;
        }
        stop(viewer);
    }
    ::unsetenv("LD_PRELOAD");
    firstFrame.print("viewer start to first frame shown");
    std::printf("viewer showing the camera: %.1f %% of one core at %.1f frames a second (%d s)\n", cpuPercent,
                framesPerSecond, seconds);
    std::ofstream(control) << "quit\n";
    int status = 0;
    ::waitpid(camera, &status, 0);
    stop(display);
    fs::remove_all(folder);
    return 0;
}
