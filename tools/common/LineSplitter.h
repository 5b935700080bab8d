#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// Cuts a byte stream into lines ("\n" or "\r\n"). A line longer than the
// limit is dropped whole rather than growing without bound; droppedLines()
// counts them so the owner can say so.
class LineSplitter
{
public:
    static constexpr std::size_t MaxLineLength = 1 << 20;

    std::vector<std::string> feed(const char *data, std::size_t size);
    // The unterminated last line, once the writer has closed.
    std::optional<std::string> finish();

    std::size_t droppedLines() const { return dropped; }

private:
    std::string partial;
    bool discarding = false;
    std::size_t dropped = 0;
};
