#include "EventLog.h"

namespace camera_standin {

EventLog::EventLog(std::FILE *stream)
    : stream(stream)
{
}

void EventLog::event(const std::string &line)
{
    std::lock_guard lock(mutex);
    std::fputs(line.c_str(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

} // namespace camera_standin
