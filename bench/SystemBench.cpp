// Figures of the real programs, each run in private network and pid
// namespaces: start to listening on the viewer's channel, a camera button through the camera
// stand-in to the viewer, and the idle cost with the camera present and a
// viewer connected.
#include "BenchProcesses.h"
#include "protocol/Channel.h"
#include "Percentiles.h"

#include "NamespaceEntry.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

// The viewer's channel, as the watchdog under test chooses it (its socket,
// or port 1933 with TESSEL_LOOPBACK_TCP=1).
int connectViewer()
{
    const protocol::ChannelAddress address = protocol::viewerChannel();
    const auto s = protocol::channel::openSocket(address);
    if (protocol::channel::connect(s, address))
        return static_cast<int>(s);
    ::close(static_cast<int>(s));
    return -1;
}

bool receiveRecord(int socket, int timeoutMs)
{
    char record[2616];
    std::size_t got = 0;
    while (got < sizeof record) {
        pollfd entry{socket, POLLIN, 0};
        if (::poll(&entry, 1, timeoutMs) <= 0)
            return false;
        const ssize_t n = ::recv(socket, record + got, sizeof record - got, 0);
        if (n <= 0)
            return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

void command(const fs::path &fifo, const std::string &line)
{
    for (int i = 0; i < 300; ++i) {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            const std::string text = line + "\n";
            [[maybe_unused]] ssize_t ignored = ::write(fd, text.data(), text.size());
            ::close(fd);
            return;
        }
        std::this_thread::sleep_for(10ms);
    }
}

std::vector<pid_t> watchdogs()
{
    std::vector<pid_t> found;
    for (const auto &entry : fs::directory_iterator("/proc")) {
        std::error_code error;
        const auto exe = fs::read_symlink(entry.path() / "exe", error);
        if (!error && exe.filename() == "tesselwatchdogapplication")
            found.push_back(static_cast<pid_t>(std::stol(entry.path().filename())));
    }
    return found;
}

long residentKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

void startToListening(const fs::path &work, int runs)
{
    Percentiles startup;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const pid_t pid = spawn({(programs() / "tesselwatchdogapplication").string()}, work / "start.log");
        int viewer = -1;
        while ((viewer = connectViewer()) < 0 && Clock::now() - start < 5s)
            std::this_thread::sleep_for(200us);
        startup.add(Clock::now() - start);
        if (viewer >= 0)
            ::close(viewer);
        stop(pid);
    }
    startup.print("start -> listening on " + protocol::viewerChannel().describe());
}

void cameraFigures(const fs::path &work, int presses, int idleSeconds)
{
    const fs::path control = work / "camera.ctl";
    const pid_t camera = spawn({(programs() / "tesselcamera").string(), "--control", control.string(), "--",
                                (programs() / "tesselwatchdogapplication").string()},
                               work / "camera.log");
    int viewer = -1;
    const auto deadline = Clock::now() + 10s;
    while ((viewer = connectViewer()) < 0 && Clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    if (viewer < 0) {
        std::fprintf(stderr, "the watchdog did not listen\n");
        stop(camera);
        return;
    }
    std::this_thread::sleep_for(1s);

    Percentiles button;
    for (int i = 0; i < presses; ++i) {
        const auto start = Clock::now();
        command(control, "press 162");
        if (!receiveRecord(viewer, 3000))
            break;
        button.add(Clock::now() - start);
        std::this_thread::sleep_for(650ms); // past the repeat filter
    }
    button.print("button press -> viewer record (camera stand-in)");

    const auto pids = watchdogs();
    if (pids.size() == 1) {
        const double before = cpuSeconds(pids.front());
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        const double used = cpuSeconds(pids.front()) - before;
        std::printf("%-44s %.3f %% of one core over %d s, resident %ld KiB\n", "idle, camera present, viewer connected",
                    100.0 * used / idleSeconds, idleSeconds, residentKiB(pids.front()));
    }
    ::close(viewer);
    stop(camera);
}

} // namespace

int main(int argc, char **argv)
{
    const int result = enterPrivateNamespaces(argc, argv);
    if (result >= 0)
        return result;
    char pattern[] = "/tmp/tessel-bench-XXXXXX";
    const fs::path work = ::mkdtemp(pattern);
    ::setenv("XDG_RUNTIME_DIR", work.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("ZENTRASW_STATE", (work / "zentrasw.state").c_str(), 1);

    startToListening(work, argc > 1 ? std::atoi(argv[1]) : 20);
    cameraFigures(work, argc > 2 ? std::atoi(argv[2]) : 40, argc > 3 ? std::atoi(argv[3]) : 20);
    fs::remove_all(work);
    return 0;
}
