// The viewer's figures with the emulated document camera (MJPEG 3264x2448
// at 15 frames a second), in private network and pid namespaces with an X
// server of its own and the window at 1280x800:
// - the floor: a bare `v4l2src ! image/jpeg,... ! jpegdec ! fakesink` on the
//   same node in the same run, its processor use;
// - the viewer: start to first frame, frames shown a second, processor use
//   (against the floor), the event loop's lateness (p99), a frame's age
//   when painted (from the camera handing it out, matched by time of
//   arrival), a full-size capture until it is on disk (taken mid-run, so
//   the lag covers it), peak resident memory;
// - the viewer at MJPEG 1920x1080, 30 frames a second: frames shown.
//
//   viewer_bench [starts] [seconds]
#include "BenchProcesses.h"
#include "Percentiles.h"

#include "NamespaceEntry.h"
#include "SystemHarness.h"
#include "XSession.h"

#include <QSettings>
#include <QSize>
#include <QString>

#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
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
using systemtest::LogFile;

namespace {

const fs::path DesktopFolder = TESSEL_DESKTOP_FOLDER;

std::int64_t nowMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

// Lines of numbers, from a byte offset on.
std::vector<std::vector<std::int64_t>> numbers(const fs::path &file, std::streamoff from = 0)
{
    std::vector<std::vector<std::int64_t>> rows;
    std::ifstream in(file);
    in.seekg(from);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::vector<std::int64_t> row;
        std::int64_t value = 0;
        while (words >> value)
            row.push_back(value);
        if (!row.empty())
            rows.push_back(row);
    }
    return rows;
}

std::streamoff sizeOf(const fs::path &file)
{
    std::error_code ignored;
    const auto size = fs::file_size(file, ignored);
    return ignored ? 0 : static_cast<std::streamoff>(size);
}

long statusKilobytes(pid_t pid, const std::string &field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

void resizeViewer()
{
    std::system("xdotool search --sync --name '^Tessel$' windowmove 0 0 windowsize 1280 800 >/dev/null 2>&1");
}

struct Window
{
    double framesPerSecond = 0;
    double cpuPercent = 0;
    Percentiles age;
    Percentiles lag;
};

// Processor use and paints of the viewer over a while; `during` runs
// halfway through.
Window measure(pid_t viewer, const fs::path &paintLog, const fs::path &lagLog, const fs::path &frameLog, int seconds,
               const std::function<void()> &during = {})
{
    Window result;
    const std::streamoff paintFrom = sizeOf(paintLog);
    const std::streamoff lagFrom = sizeOf(lagLog);
    const double cpuBefore = cpuSeconds(viewer);
    const auto from = Clock::now();
    const std::int64_t fromUs = nowMicroseconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(seconds * 500));
    if (during)
        during();
    std::this_thread::sleep_until(from + std::chrono::seconds(seconds));
    const double cpuUsed = cpuSeconds(viewer) - cpuBefore;
    const double elapsed = std::chrono::duration<double>(Clock::now() - from).count();
    const std::int64_t toUs = nowMicroseconds();
    result.cpuPercent = 100.0 * cpuUsed / elapsed;

    std::vector<std::int64_t> handedOut;
    for (const auto &row : numbers(frameLog))
        if (row.size() == 2)
            handedOut.push_back(row[1]);
    std::sort(handedOut.begin(), handedOut.end());
    int painted = 0;
    for (const auto &row : numbers(paintLog, paintFrom)) {
        if (row.size() != 2 || row[1] < fromUs || row[1] > toUs)
            continue;
        ++painted;
        // The frame that arrived then is the last one handed out before.
        const auto next = std::upper_bound(handedOut.begin(), handedOut.end(), row[0]);
        if (next != handedOut.begin())
            result.age.add(std::chrono::microseconds(row[1] - *(next - 1)));
    }
    result.framesPerSecond = painted / elapsed;
    for (const auto &row : numbers(lagLog, lagFrom))
        result.lag.add(std::chrono::microseconds(row[0]));
    return result;
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
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_PICTURES_DIR");
    ::setenv("ZENTRASW_STATE", (folder / "zentrasw.state").c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    const fs::path frameLog = folder / "frames.log";
    ::setenv("TESSEL_CAMERA_FRAME_LOG", frameLog.c_str(), 1);

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
    const auto plugged = cameraLog.find("plug camera ");
    if (!root || !plugged) {
        std::fprintf(stderr, "the watchdog did not start\n");
        return 1;
    }
    const std::string plugLine = cameraLog.lines()[*plugged];
    const std::string node = plugLine.substr(plugLine.find("video=") + 6);
    ::setenv("UMOCKDEV_DIR", root->c_str(), 1);
    ::setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);

    // The floor.
    const pid_t floor = spawn({"/usr/bin/gst-launch-1.0", "-q", "v4l2src", "device=" + node, "!",
                               "image/jpeg,width=3264,height=2448,framerate=15/1", "!", "jpegdec", "!", "fakesink"},
                              folder / "floor.log");
    std::this_thread::sleep_for(3s);
    const double floorBefore = cpuSeconds(floor);
    const auto floorFrom = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double floorPercent = 100.0 * (cpuSeconds(floor) - floorBefore)
                                / std::chrono::duration<double>(Clock::now() - floorFrom).count();
    stop(floor);
    std::this_thread::sleep_for(1s);

    Percentiles firstFrame;
    Window full;
    Percentiles captureOnDisk;
    long peakKilobytes = -1;
    for (int run = 0; run < starts; ++run) {
        const LogFile viewerLog(folder / ("viewer-" + std::to_string(run) + ".log"));
        const fs::path paintLog = folder / ("paint-" + std::to_string(run) + ".log");
        const fs::path lagLog = folder / ("lag-" + std::to_string(run) + ".log");
        ::setenv("TESSEL_VIEWER_PAINT_LOG", paintLog.c_str(), 1);
        ::setenv("TESSEL_VIEWER_LAG_LOG", lagLog.c_str(), 1);
        const auto started = Clock::now();
        const pid_t viewer = spawn({(DesktopFolder / "tessel").string()}, viewerLog.path());
        if (!viewerLog.waitFor("first frame shown", 30s)) {
            std::fprintf(stderr, "no frame within 30 s (run %d)\n", run);
            for (const auto &line : viewerLog.lines())
                std::fprintf(stderr, "  %s\n", line.c_str());
            stop(viewer);
            break;
        }
        // Up to one poll of the log (10 ms) late.
        firstFrame.add(Clock::now() - started);
        if (run == starts - 1) {
            resizeViewer();
            std::this_thread::sleep_for(2s); // past the start's own work
            const fs::path pictures = folder / "Pictures";
            full = measure(viewer, paintLog, lagLog, frameLog, seconds, [&] {
                const auto pressed = Clock::now();
                x.keys("c", "^Tessel$");
                while (Clock::now() - pressed < 10s) {
                    std::error_code ignored;
                    if (fs::exists(pictures, ignored) && !fs::is_empty(pictures, ignored)) {
                        captureOnDisk.add(Clock::now() - pressed);
                        break;
                    }
                    std::this_thread::sleep_for(5ms);
                }
            });
            peakKilobytes = statusKilobytes(viewer, "VmHWM");
        }
        stop(viewer);
    }

    // The viewer at 1080p and 30 frames a second, chosen as a user does.
    {
        QSettings settings(QString::fromStdString((folder / ".config/Brivara/tessel.conf").string()),
                           QSettings::IniFormat);
        settings.setValue(QStringLiteral("cameras/7a3e:4b10 Brivara tessel Visualizer/resolution"), QSize(1920, 1080));
        settings.setValue(QStringLiteral("cameras/7a3e:4b10 Brivara tessel Visualizer/rate"), 30.0);
    }
    Window video;
    {
        const LogFile viewerLog(folder / "viewer-1080p.log");
        const fs::path paintLog = folder / "paint-1080p.log";
        const fs::path lagLog = folder / "lag-1080p.log";
        ::setenv("TESSEL_VIEWER_PAINT_LOG", paintLog.c_str(), 1);
        ::setenv("TESSEL_VIEWER_LAG_LOG", lagLog.c_str(), 1);
        const pid_t viewer = spawn({(DesktopFolder / "tessel").string()}, viewerLog.path());
        if (viewerLog.waitFor("first frame shown 1920x1080", 30s)) {
            resizeViewer();
            std::this_thread::sleep_for(2s);
            video = measure(viewer, paintLog, lagLog, frameLog, seconds);
        } else {
            std::fprintf(stderr, "no 1080p frame within 30 s\n");
        }
        stop(viewer);
    }
    ::unsetenv("LD_PRELOAD");

    firstFrame.print("viewer start to first frame shown");
    std::printf("floor (v4l2src ! jpegdec ! fakesink), 3264x2448@15: %.1f %% of one core\n", floorPercent);
    std::printf("viewer, 3264x2448@15 in 1280x800: %.1f frames shown a second, %.1f %% of one core (%.2f x the floor), "
                "peak RSS %.1f MB (%d s)\n",
                full.framesPerSecond, full.cpuPercent, floorPercent > 0 ? full.cpuPercent / floorPercent : 0,
                peakKilobytes / 1024.0, seconds);
    full.age.print("frame age at paint, 3264x2448@15");
    full.lag.print("event-loop lag (10 ms timer), with a capture");
    captureOnDisk.print("full-size capture, key to file on disk");
    std::printf("viewer, 1920x1080@30 in 1280x800: %.1f frames shown a second, %.1f %% of one core\n",
                video.framesPerSecond, video.cpuPercent);
    video.age.print("frame age at paint, 1920x1080@30");
    video.lag.print("event-loop lag (10 ms timer), 1920x1080@30");
    systemtest::sendCommand(control, "quit");
    int status = 0;
    ::waitpid(camera, &status, 0);
    fs::remove_all(folder);
    return 0;
}
