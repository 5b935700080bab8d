#pragma once

#include <string>

namespace camera_standin {

// Where the stand-in tells what happens, one line per event (the formats are
// listed in README.md). Called from several threads, umockdev's worker
// thread among them.
class EventSink
{
public:
    virtual ~EventSink() = default;
    virtual void event(const std::string &line) = 0;
};

} // namespace camera_standin
