#include "ProgramExit.h"

#include "CommandInput.h"
#include "EventLog.h"

namespace {
constexpr auto DrainLimit = std::chrono::milliseconds(1000);
constexpr auto DrainPoll = std::chrono::milliseconds(5);
} // namespace

ProgramExit::ProgramExit(EventLoop &eventLoop, EventLog &eventLog, CommandInput &commandInput)
    : loop(eventLoop), log(eventLog), input(commandInput)
{
}

ProgramExit::~ProgramExit()
{
    loop.cancel(timer);
}

void ProgramExit::request(int exitCode, const std::string &reason, BusyCheck busy)
{
    if (isRequested)
        return;
    isRequested = true;
    code = exitCode;
    stillSending = std::move(busy);
    log.line("exiting code=", exitCode, " reason=", reason);
    input.stop();
    giveUpAt = EventLoop::Clock::now() + DrainLimit;
    waitForWrites();
}

void ProgramExit::waitForWrites()
{
    timer = 0;
    if (stillSending && stillSending() && EventLoop::Clock::now() < giveUpAt) {
        timer = loop.after(DrainPoll, [this] { waitForWrites(); });
        return;
    }
    loop.quit();
}
