// The viewer's figures under the emulated camera, in private network and pid
// namespaces with an X server of its own: time from the viewer's start to
// the first frame on the screen, and its processor use while it shows the
// camera's 30 frames a second.
//
//   viewer_bench [starts] [seconds]
#include "BenchProcesses.h"
#include "Percentiles.h"

#include "NamespaceEntry.h"
#include "SystemHarness.h"
#include "XSession.h"

#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;
using bench::cpuSeconds;
using bench::programs;
using bench::spawn;
using bench::stop;
using systemtest::LogFile;

namespace {

const fs::path DesktopFolder = TESSEL_DESKTOP_FOLDER;

// The frames the camera stand-in has delivered so far, from the status line
// it writes in answer (an older line would give an old count).
long framesDelivered(const fs::path &control, const LogFile &log)
{
    const std::size_t from = log.size();
    if (!systemtest::sendCommand(control, "status"))
        return -1;
    const auto at = log.waitFor("status camera=", 5s, from);
    if (!at)
        return -1;
    const std::string line = log.lines()[*at];
    const auto frames = line.find("frames=");
    return frames == std::string::npos ? -1 : std::stol(line.substr(frames + 7));
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

    systemtest::XSession x;
    if (!x.start(folder, systemtest::XSession::TrayHost::None)) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    ::setenv("DISPLAY", x.display().c_str(), 1);

    const LogFile cameraLog(folder / "camera.log");
    const fs::path control = folder / "camera.ctl";
    const pid_t camera = spawn({(programs() / "tesselcamera").string(), "--control", control.string(), "--",
                                (DesktopFolder / "tesselwatchdogapplication").string()},
                               cameraLog.path());
    const auto root = cameraLog.waitFor("Socket bind successfully", 10s) ? systemtest::testbedRoot(cameraLog)
                                                                         : std::nullopt;
    if (!root) {
        std::fprintf(stderr, "the watchdog did not start\n");
        return 1;
    }
    ::setenv("UMOCKDEV_DIR", root->c_str(), 1);
    ::setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);

    Percentiles firstFrame;
    double cpuPercent = 0;
    double framesPerSecond = 0;
    for (int run = 0; run < starts; ++run) {
        const LogFile viewerLog(folder / ("viewer-" + std::to_string(run) + ".log"));
        const auto started = Clock::now();
        const pid_t viewer = spawn({(DesktopFolder / "tessel").string()}, viewerLog.path());
        if (!viewerLog.waitFor("first frame shown", 30s)) {
            std::fprintf(stderr, "no frame within 30 s (run %d)\n", run);
            stop(viewer);
            break;
        }
        // Up to one poll of the log (10 ms) late.
        firstFrame.add(Clock::now() - started);
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
    systemtest::sendCommand(control, "quit");
    int status = 0;
    ::waitpid(camera, &status, 0);
    fs::remove_all(folder);
    return 0;
}
