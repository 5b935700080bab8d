#pragma once

#include <windows.h>

#include <string>

namespace platform::win32_backend {

// The platform interfaces carry text as UTF-8; the wide Windows calls take
// UTF-16. Invalid UTF-8 becomes U+FFFD rather than failing the call, so a
// broken name reaches the system as a name that simply is not found. Text
// of another code page (CP_ACP: what the C library's narrow calls take)
// names it.
std::wstring widen(const std::string &text, UINT codePage = CP_UTF8);
std::string narrow(const wchar_t *utf16, std::size_t length);
std::string narrow(const std::wstring &utf16);

} // namespace platform::win32_backend
