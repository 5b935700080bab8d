// The C library's stat and the ANSI file calls stop at MAX_PATH (260)
// characters: a longer path reads as missing although it exists. The wide
// calls see any length once the path is absolute and carries the prefix
// "\\?\", which also turns off the name parsing that made it absolute.
#include "platform/FileSystem.h"
#include "platform/win32/WideText.h"

#include <windows.h>

#include <vector>

namespace platform {

namespace {

// The absolute form of a path, with ".", ".." and "/" resolved; empty when
// the system cannot make one.
std::wstring absolute(const std::wstring &path)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0)
            return {};
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(length); // the size needed, terminator included
    }
}

std::wstring withoutLengthLimit(const std::wstring &full)
{
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0)
        return full;
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2); // \\server\share\...
    return L"\\\\?\\" + full;
}

} // namespace

bool pathExists(const std::string &path)
{
    const std::wstring wide = win32_backend::widen(path, CP_ACP);
    if (wide.empty())
        return false;
    const std::wstring full = absolute(wide);
    if (full.empty())
        return false;
    return GetFileAttributesW(withoutLengthLimit(full).c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace platform
