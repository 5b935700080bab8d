#pragma once

#include <string>
#include <vector>

namespace camera_standin {

// Command lines from a file descriptor (standard input or the control FIFO),
// cut at line feeds.
class LineChannel
{
public:
    enum class State { Open, EndOfFile, Failed };

    LineChannel() = default;
    LineChannel(int fd, bool ownsFd);
    ~LineChannel();
    LineChannel(LineChannel &&other) noexcept;
    LineChannel &operator=(LineChannel &&other) noexcept;

    int fd() const { return descriptor; }
    bool open() const { return descriptor >= 0; }

    // Reads once, after poll() found the descriptor readable; complete lines
    // go to lines. A last line without line feed is delivered at end of file.
    State readLines(std::vector<std::string> &lines);
    void close();

private:
    int descriptor = -1;
    bool owns = false;
    std::string pending;
};

} // namespace camera_standin
