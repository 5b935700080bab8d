#pragma once

#include "EventLoop.h"

#include <functional>
#include <string>

class CommandInput;
class EventLog;

// Ends a stand-in the clean way, whatever asked for it (a command, a signal,
// the end of standard input, the protocol): one "exiting" line, no more
// commands, a moment for queued writes to reach the peer, then the loop ends.
class ProgramExit
{
public:
    using BusyCheck = std::function<bool()>;

    ProgramExit(EventLoop &loop, EventLog &log, CommandInput &input);
    ~ProgramExit();
    ProgramExit(const ProgramExit &) = delete;
    ProgramExit &operator=(const ProgramExit &) = delete;

    // The first request wins; `stillSending` says whether queued bytes are
    // still on their way out.
    void request(int exitCode, const std::string &reason, BusyCheck stillSending = {});

    bool requested() const { return isRequested; }
    int exitCode() const { return code; }

private:
    void waitForWrites();

    EventLoop &loop;
    EventLog &log;
    CommandInput &input;
    BusyCheck stillSending;
    EventLoop::Clock::time_point giveUpAt;
    EventLoop::TimerId timer = 0;
    bool isRequested = false;
    int code = 0;
};
