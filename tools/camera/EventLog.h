#pragma once

#include "EventSink.h"

#include <cstdio>
#include <mutex>

namespace camera_standin {

// Event lines to a stream, whole and flushed at once: they come from
// several threads, and a test reading them through a pipe must see each line
// as soon as it happens.
class EventLog final : public EventSink
{
public:
    explicit EventLog(std::FILE *stream);
    void event(const std::string &line) override;

private:
    std::FILE *stream;
    std::mutex mutex;
};

} // namespace camera_standin
