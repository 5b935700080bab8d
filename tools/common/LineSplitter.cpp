#include "LineSplitter.h"

namespace {
std::string withoutCarriageReturn(std::string line)
{
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}
} // namespace

std::vector<std::string> LineSplitter::feed(const char *data, std::size_t size)
{
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (c == '\n') {
            if (!discarding)
                lines.push_back(withoutCarriageReturn(std::move(partial)));
            partial.clear();
            discarding = false;
            continue;
        }
        if (discarding)
            continue;
        if (partial.size() == MaxLineLength) {
            partial.clear();
            discarding = true;
            ++dropped;
            continue;
        }
        partial.push_back(c);
    }
    return lines;
}

std::optional<std::string> LineSplitter::finish()
{
    const bool hadLine = !discarding && !partial.empty();
    std::string last = withoutCarriageReturn(std::move(partial));
    partial.clear();
    discarding = false;
    if (!hadLine)
        return std::nullopt;
    return last;
}
