#include "WideText.h"

#include <windows.h>

#include <climits>

namespace platform::win32_backend {

std::wstring widen(const std::string &text, UINT codePage)
{
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
    return wide;
}

std::string narrow(const wchar_t *utf16, std::size_t length)
{
    if (!utf16 || length == 0 || length > INT_MAX)
        return {};
    const int size = static_cast<int>(length);
    const int needed = WideCharToMultiByte(CP_UTF8, 0, utf16, size, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return {};
    std::string text(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16, size, text.data(), needed, nullptr, nullptr);
    return text;
}

std::string narrow(const std::wstring &utf16)
{
    return narrow(utf16.data(), utf16.size());
}

} // namespace platform::win32_backend
