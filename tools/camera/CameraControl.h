#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace camera_standin {

class CameraTestbed;
class EventSink;

// The stand-in's command language, one command a line (see helpLines() and
// README.md), carried out on a CameraTestbed. Mistakes are answered with an
// "error ..." line and change nothing.
class CameraControl
{
public:
    enum class Outcome { Continue, Quit };

    CameraControl(CameraTestbed &testbed, EventSink &sink);

    Outcome execute(const std::string &line);

    static const std::vector<std::string> &helpLines();

    // "00 01 ff", "0001ff": hexadecimal bytes, in pairs, spaces allowed
    // between bytes.
    static std::optional<std::vector<std::uint8_t>> parseHex(const std::vector<std::string> &words);
    // "EIO" or "5".
    static std::optional<int> parseErrno(const std::string &text);

private:
    void press(const std::vector<std::string> &words);
    void report(const std::vector<std::string> &words);
    void failRead(const std::vector<std::string> &words);
    void plug(const std::vector<std::string> &words, bool in);
    void status();
    void error(const std::string &text);

    CameraTestbed &testbed;
    EventSink &sink;
};

} // namespace camera_standin
