#include "platform/ProgramFile.h"

#include <windows.h>

#include <vector>

namespace platform {

std::optional<std::string> programFilePath()
{
    // GetModuleFileNameA cuts a path that does not fit and says so only by
    // filling the buffer: grow it until the path fits with room to spare.
    for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 4) {
        std::vector<char> buffer(capacity);
        const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), capacity);
        if (length == 0)
            return std::nullopt;
        if (length < capacity)
            return std::string(buffer.data(), length);
    }
    return std::nullopt;
}

} // namespace platform
