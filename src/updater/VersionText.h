#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace updater {

// Longest version text printed, in bytes.
inline constexpr std::size_t VERSION_TEXT_LIMIT = 510;

// The library's 16-bit wide version text as 8-bit UTF-8, the same bytes on
// every system. The text is cut before the character that would pass the
// byte limit, never inside one; a lone surrogate becomes '?'.
std::string narrowVersionText(std::u16string_view wide, std::size_t byteLimit = VERSION_TEXT_LIMIT);

} // namespace updater
