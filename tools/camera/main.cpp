// tesselcamera: the camera stand-in. Builds a umockdev testbed with the
// camera's devices, runs a program under it, and takes commands from
// standard input and a control FIFO. See --help and README.md.
#include "CameraControl.h"
#include "CameraTestbed.h"
#include "ChildProcess.h"
#include "EventLog.h"
#include "LineChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using namespace camera_standin;

namespace {

constexpr int ExitUsage = 2;
constexpr int ExitSetup = 3;

const char *const Usage = R"(usage: tesselcamera [options] [-- command [args...]]

Builds a umockdev testbed that holds the Brivara tessel camera (hidraw node,
USB 7a3e:4b20; video4linux capture and metadata nodes, USB 7a3e:4b10,
"Brivara tessel Visualizer"),
runs the command under it (with umockdev's preload library), and takes
control commands, one a line, from standard input and the control FIFO.
Without a command it only plays the camera, for programs started by hand
under the testbed (see the "ready" line and README.md).

options:
  --control FIFO    also read commands from FIFO (made if missing, and then
                    removed at exit)
  --quit-on-eof     quit when the control channel ends: the FIFO's last
                    writer closes it (or, without --control, standard input
                    ends); end of input on a terminal always quits
  --exit-with-child quit when the command ends, with its exit code
  --state FILE      the control library stand-in's state file (default:
                    $ZENTRASW_STATE); the camera keeps light=0|1 in it, and the
                    command gets ZENTRASW_STATE=FILE
  --unplugged       start with the camera unplugged
  --with-hid        start with the unrelated HID device (a keyboard) plugged in
  --with-usb        start with the unrelated USB device (a webcam) plugged in
  -h, --help        this text

commands:
)";

const char *const UsageTail = R"(
output (standard output, one event a line):
  ready root=DIR state=FILE|-       the testbed is up
  plug camera hidraw=NODE video=NODE / plug hid hidraw=NODE / plug usb video=NODE
  unplug camera|hid|usb
  open node=NODE                    a program opened a hidraw node
  press NAMES [hold]                a press command was taken
  input len=N data=HEX              a report the camera sends (Windows layout)
  write len=N zero                  the host wrote an all-zero report (no answer)
  write len=N button=0xVV data=HEX  the host wrote a button report
  write len=N data=HEX              the host wrote something else
  answer len=N data=HEX             the camera answered a button report
  light on|off                      the light changed (and the state file)
  fail-read count=N errno=NAME      reads will fail; read-failed errno=NAME when one does
  answer on|off / status ...        answers to those commands
  child start pid=N / child exit status=N|signal=N
  error TEXT                        a command was not understood or failed
  quit reason=command|eof|signal|child

exit status: 0, or the command's with --exit-with-child; 2 usage; 3 setup.
)";

struct Options
{
    std::optional<std::string> controlFifo;
    std::optional<std::string> stateFile;
    bool quitOnEof = false;
    bool exitWithChild = false;
    bool cameraPlugged = true;
    bool otherHid = false;
    bool otherUsb = false;
    std::vector<std::string> command;
};

void printUsage(std::FILE *stream)
{
    std::fputs(Usage, stream);
    for (const std::string &line : CameraControl::helpLines())
        std::fprintf(stream, "  %s\n", line.substr(2).c_str());
    std::fputs(UsageTail, stream);
}

std::optional<Options> parseOptions(int argc, char **argv)
{
    Options options;
    if (const char *state = std::getenv("ZENTRASW_STATE"); state && *state)
        options.stateFile = state;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--") {
            options.command.assign(argv + i + 1, argv + argc);
            break;
        } else if (arg == "-h" || arg == "--help") {
            printUsage(stdout);
            std::exit(0);
        } else if (arg == "--control" && hasValue) {
            options.controlFifo = argv[++i];
        } else if (arg == "--state" && hasValue) {
            options.stateFile = argv[++i];
        } else if (arg == "--quit-on-eof") {
            options.quitOnEof = true;
        } else if (arg == "--exit-with-child") {
            options.exitWithChild = true;
        } else if (arg == "--unplugged") {
            options.cameraPlugged = false;
        } else if (arg == "--with-hid") {
            options.otherHid = true;
        } else if (arg == "--with-usb") {
            options.otherUsb = true;
        } else {
            std::fprintf(stderr, "tesselcamera: unknown option or missing value: %s\n", arg.c_str());
            return std::nullopt;
        }
    }
    return options;
}

// The program under test inherits the preload (LD_PRELOAD, ASAN_OPTIONS)
// from us, and UMOCKDEV_DIR from the testbed.
void prepareChildEnvironment(const Options &options)
{
    if (options.stateFile)
        ::setenv("ZENTRASW_STATE", options.stateFile->c_str(), 1);
}

// The FIFO is opened read-only and non-blocking; unless end of file should
// end us, we hold a write end too, so that writers may come and go.
bool openFifo(const std::string &path, bool quitOnEof, LineChannel &channel, int &keepOpen, bool &created)
{
    created = false;
    if (::mkfifo(path.c_str(), 0600) == 0)
        created = true;
    else if (errno != EEXIST)
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    channel = LineChannel(fd, true);
    if (!quitOnEof)
        keepOpen = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (!Testbed::runUnderPreload(argv)) {
        std::fprintf(stderr, "tesselcamera: cannot run under umockdev's preload library: %s\n", std::strerror(errno));
        return ExitSetup;
    }
    const std::optional<Options> parsed = parseOptions(argc, argv);
    if (!parsed) {
        printUsage(stderr);
        return ExitUsage;
    }
    const Options &options = *parsed;

    // Signals arrive through a signalfd in the main loop; blocking them
    // before the testbed exists keeps umockdev's worker thread from taking
    // them.
    sigset_t handled;
    sigemptyset(&handled);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        sigaddset(&handled, signal);
    ::sigprocmask(SIG_BLOCK, &handled, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    const int signals = ::signalfd(-1, &handled, SFD_CLOEXEC | SFD_NONBLOCK);

    EventLog log(stdout);
    CameraTestbed testbed(log, options.stateFile);
    CameraControl control(testbed, log);
    if ((options.cameraPlugged && !testbed.plug(CameraTestbed::Device::Camera))
        || (options.otherHid && !testbed.plug(CameraTestbed::Device::OtherHid))
        || (options.otherUsb && !testbed.plug(CameraTestbed::Device::OtherUsb))) {
        log.event("error cannot build the testbed's devices");
        return ExitSetup;
    }

    LineChannel input(STDIN_FILENO, false);
    const bool inputIsTerminal = ::isatty(STDIN_FILENO);
    LineChannel fifo;
    int fifoWriter = -1;
    bool fifoCreated = false;
    if (options.controlFifo
        && !openFifo(*options.controlFifo, options.quitOnEof, fifo, fifoWriter, fifoCreated)) {
        log.event("error cannot open the control FIFO " + *options.controlFifo + ": " + std::strerror(errno));
        return ExitSetup;
    }
    log.event("ready root=" + testbed.testbed().root() + " state=" + options.stateFile.value_or("-"));

    ChildProcess child;
    if (!options.command.empty()) {
        prepareChildEnvironment(options);
        int error = 0;
        if (!child.start(options.command, error)) {
            log.event("error cannot start " + options.command.front() + ": " + std::strerror(error));
            return ExitSetup;
        }
        log.event("child start pid=" + std::to_string(child.processId()));
    } else if (inputIsTerminal) {
        std::fprintf(stderr, "tesselcamera: type \"help\" for the commands, \"quit\" to end\n");
    }

    std::string reason;
    int exitCode = 0;
    while (reason.empty()) {
        pollfd fds[3] = {{signals, POLLIN, 0}, {input.fd(), POLLIN, 0}, {fifo.fd(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (::read(signals, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                if (info.ssi_signo != SIGCHLD) {
                    reason = "signal";
                } else if (const std::optional<int> status = child.reap()) {
                    log.event("child exit " + ChildProcess::describe(*status));
                    if (options.exitWithChild) {
                        reason = "child";
                        exitCode = ChildProcess::exitCode(*status);
                    }
                }
            }
        }
        for (LineChannel *channel : {&input, &fifo}) {
            const pollfd &polled = channel == &input ? fds[1] : fds[2];
            if (!reason.empty() || !channel->open() || !(polled.revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            std::vector<std::string> lines;
            const LineChannel::State state = channel->readLines(lines);
            for (const std::string &line : lines) {
                if (reason.empty() && control.execute(line) == CameraControl::Outcome::Quit)
                    reason = "command";
            }
            if (state == LineChannel::State::Open)
                continue;
            channel->close();
            const bool controlChannel = channel == &fifo || !options.controlFifo;
            if (reason.empty() && ((options.quitOnEof && controlChannel) || (channel == &input && inputIsTerminal)))
                reason = "eof";
        }
    }

    if (const std::optional<int> status = child.stop(std::chrono::milliseconds(3000)))
        log.event("child exit " + ChildProcess::describe(*status));
    log.event("quit reason=" + (reason.empty() ? std::string("signal") : reason));
    if (fifoWriter >= 0)
        ::close(fifoWriter);
    fifo.close();
    if (fifoCreated)
        ::unlink(options.controlFifo->c_str());
    return exitCode;
}
