#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Small text helpers for command lines and event lines.
namespace text {

// A value in double quotes with '"' and '\' escaped, and control bytes and
// bytes that are not well-formed UTF-8 as \xNN: an event line stays one line
// of valid UTF-8 whatever a peer sent.
std::string quoted(std::string_view value);

std::vector<std::string> splitWords(std::string_view line);

// Decimal, or hexadecimal after "0x"; an optional leading minus sign.
std::optional<std::int64_t> parseInteger(std::string_view word);
std::optional<std::int32_t> parseInt32(std::string_view word);

// Pairs of hex digits; spaces, ':' and '-' between them are ignored.
std::optional<std::vector<std::uint8_t>> parseHex(std::string_view hex);

} // namespace text
