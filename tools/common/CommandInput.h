#pragma once

#include "EventLoop.h"
#include "LineSplitter.h"

#include <deque>
#include <functional>
#include <string>

class EventLog;

// Opens /dev/null on any of descriptors 0 to 2 that is closed. Otherwise the
// first socket could become descriptor 0 and be taken for standard input.
// Call first thing in main.
void keepStandardDescriptorsOpen();

// Command lines from standard input and from an optional control FIFO, handed
// over one at a time in arrival order. The FIFO is reopened whenever its
// writer closes, so any number of scripts can write to it one after another.
// While paused, lines wait: a command that takes time (connecting, waiting
// for an answer) is finished before the next one runs.
class CommandInput
{
public:
    using LineHandler = std::function<void(const std::string &line)>;
    using EndHandler = std::function<void()>;

    CommandInput(EventLoop &loop, EventLog &log, LineHandler onLine, EndHandler onStdinEnd);
    ~CommandInput();
    CommandInput(const CommandInput &) = delete;
    CommandInput &operator=(const CommandInput &) = delete;

    void readStdin();
    // Creates the FIFO if it is missing; false (after a log line) if the path
    // holds something else or cannot be opened.
    bool openControlFifo(const std::string &path);

    void pause();
    void resume();
    // No more lines, ever: the program is on its way out.
    void stop();

private:
    struct Entry
    {
        std::string line;
        bool endOfStdin = false;
    };

    void watchSources();
    void unwatchSources();
    void readFrom(int fd, LineSplitter &splitter, bool isStdin);
    void reopenFifo();
    void take(LineSplitter &splitter, const char *data, std::size_t size);
    void deliver();

    EventLoop &loop;
    EventLog &log;
    LineHandler onLine;
    EndHandler onStdinEnd;

    bool stdinOpen = false;
    LineSplitter stdinLines;
    std::string fifoPath;
    int fifoFd = -1;
    LineSplitter fifoLines;

    std::deque<Entry> pending;
    bool paused = false;
    bool stopped = false;
    bool delivering = false;
    EventLoop::TimerId resumeTimer = 0;
};
