#include "CommandInput.h"

#include "EventLog.h"
#include "Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int StdinFd = 0;
}

void keepStandardDescriptorsOpen()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // open() takes the lowest free descriptor: this one.
            [[maybe_unused]] const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        }
    }
}

CommandInput::CommandInput(EventLoop &eventLoop, EventLog &eventLog, LineHandler lineHandler,
                           EndHandler stdinEndHandler)
    : loop(eventLoop), log(eventLog), onLine(std::move(lineHandler)), onStdinEnd(std::move(stdinEndHandler))
{
}

CommandInput::~CommandInput()
{
    loop.cancel(resumeTimer);
    unwatchSources();
    if (fifoFd >= 0)
        ::close(fifoFd);
}

void CommandInput::readStdin()
{
    stdinOpen = true;
    watchSources();
}

bool CommandInput::openControlFifo(const std::string &path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISFIFO(info.st_mode)) {
            log.line("error control path ", text::quoted(path), " exists and is not a FIFO");
            return false;
        }
    } else if (::mkfifo(path.c_str(), 0600) != 0 && errno != EEXIST) {
        log.line("error cannot create control FIFO ", text::quoted(path), ": ", std::strerror(errno));
        return false;
    }
    // Non-blocking, or the open would wait for the first writer.
    fifoFd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fifoFd < 0) {
        log.line("error cannot open control FIFO ", text::quoted(path), ": ", std::strerror(errno));
        return false;
    }
    fifoPath = path;
    watchSources();
    return true;
}

void CommandInput::pause()
{
    paused = true;
    unwatchSources();
}

void CommandInput::resume()
{
    if (stopped || !paused)
        return;
    paused = false;
    watchSources();
    // Later, from the loop: resume() may be called from inside a command.
    resumeTimer = loop.after(std::chrono::milliseconds(0), [this] { deliver(); });
}

void CommandInput::stop()
{
    stopped = true;
    pending.clear();
    unwatchSources();
}

void CommandInput::watchSources()
{
    if (paused || stopped)
        return;
    if (stdinOpen)
        loop.watch(StdinFd, POLLIN, [this](short) { readFrom(StdinFd, stdinLines, true); });
    if (fifoFd >= 0)
        loop.watch(fifoFd, POLLIN, [this](short) { readFrom(fifoFd, fifoLines, false); });
}

void CommandInput::unwatchSources()
{
    loop.unwatch(StdinFd);
    if (fifoFd >= 0)
        loop.unwatch(fifoFd);
}

void CommandInput::readFrom(int fd, LineSplitter &splitter, bool isStdin)
{
    char buffer[4096];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (got > 0) {
        take(splitter, buffer, static_cast<std::size_t>(got));
    } else {
        // End of input (or an unreadable descriptor, which means the same).
        if (auto last = splitter.finish())
            pending.push_back({std::move(*last)});
        if (isStdin) {
            stdinOpen = false;
            loop.unwatch(StdinFd);
            pending.push_back({{}, true});
        } else {
            reopenFifo();
        }
    }
    deliver();
}

void CommandInput::take(LineSplitter &splitter, const char *data, std::size_t size)
{
    const std::size_t droppedBefore = splitter.droppedLines();
    for (std::string &line : splitter.feed(data, size))
        pending.push_back({std::move(line)});
    if (splitter.droppedLines() != droppedBefore)
        log.line("error command line longer than ", LineSplitter::MaxLineLength, " bytes ignored");
}

void CommandInput::reopenFifo()
{
    loop.unwatch(fifoFd);
    ::close(fifoFd);
    fifoFd = ::open(fifoPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fifoFd < 0) {
        log.line("error cannot reopen control FIFO ", text::quoted(fifoPath), ": ", std::strerror(errno));
        return;
    }
    watchSources();
}

void CommandInput::deliver()
{
    if (delivering)
        return;
    delivering = true;
    while (!paused && !stopped && !pending.empty()) {
        Entry entry = std::move(pending.front());
        pending.pop_front();
        if (entry.endOfStdin)
            onStdinEnd();
        else
            onLine(entry.line);
    }
    delivering = false;
}
