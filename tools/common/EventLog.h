#pragma once

#include <sstream>
#include <string>

// The event lines a stand-in prints: "<program>: <event> key=value ...", one
// whole line per write, flushed at once so that a test reading a pipe sees
// each event when it happens.
class EventLog
{
public:
    explicit EventLog(std::string programName);

    // Appends every following line to a file instead of standard output, for
    // a stand-in that another program starts with its own output elsewhere.
    bool appendTo(const std::string &path, std::string &error);

    template<typename... Parts>
    void line(const Parts &...parts)
    {
        std::ostringstream text;
        (text << ... << parts);
        write(text.str());
    }

    const std::string &program() const { return name; }

private:
    void write(const std::string &text);

    std::string name;
};
