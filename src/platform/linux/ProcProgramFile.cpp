#include "platform/ProgramFile.h"

#include <unistd.h>

#include <vector>

namespace platform {

std::optional<std::string> programFilePath()
{
    // readlink does not say whether it cut the link's text short: grow the
    // buffer until the text fits with room to spare.
    for (std::size_t capacity = 256; capacity <= 65536; capacity *= 4) {
        std::vector<char> buffer(capacity);
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            return std::nullopt;
        if (static_cast<std::size_t>(length) < buffer.size())
            return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    return std::nullopt;
}

} // namespace platform
