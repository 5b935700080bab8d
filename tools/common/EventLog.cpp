#include "EventLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

EventLog::EventLog(std::string programName)
    : name(std::move(programName))
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
}

bool EventLog::appendTo(const std::string &path, std::string &error)
{
    if (std::freopen(path.c_str(), "a", stdout) == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return true;
}

void EventLog::write(const std::string &text)
{
    std::fputs(name.c_str(), stdout);
    std::fputs(": ", stdout);
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}
