#include "Text.h"

#include <charconv>
#include <limits>

namespace text {

std::string quoted(std::string_view value)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += digits[byte >> 4];
            out += digits[byte & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::vector<std::string> splitWords(std::string_view line)
{
    std::vector<std::string> words;
    std::size_t position = 0;
    while (position < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r", position);
        if (start == std::string_view::npos)
            break;
        std::size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string_view::npos)
            end = line.size();
        words.emplace_back(line.substr(start, end - start));
        position = end;
    }
    return words;
}

std::optional<std::int64_t> parseInteger(std::string_view word)
{
    bool negative = false;
    if (!word.empty() && (word.front() == '-' || word.front() == '+')) {
        negative = word.front() == '-';
        word.remove_prefix(1);
    }
    int base = 10;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        word.remove_prefix(2);
    }
    if (word.empty())
        return std::nullopt;
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), magnitude, base);
    if (error != std::errc{} || end != word.data() + word.size())
        return std::nullopt;
    constexpr auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (magnitude > limit)
        return std::nullopt;
    const auto value = static_cast<std::int64_t>(magnitude);
    return negative ? -value : value;
}

std::optional<std::int32_t> parseInt32(std::string_view word)
{
    const auto value = parseInteger(word);
    if (!value || *value < std::numeric_limits<std::int32_t>::min()
        || *value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

std::optional<std::vector<std::uint8_t>> parseHex(std::string_view hex)
{
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::vector<std::uint8_t> bytes;
    int high = -1;
    for (const char c : hex) {
        if (c == ' ' || c == '\t' || c == ':' || c == '-') {
            if (high >= 0)
                return std::nullopt; // a separator inside a pair
            continue;
        }
        const int value = nibble(c);
        if (value < 0)
            return std::nullopt;
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | value));
            high = -1;
        }
    }
    if (high >= 0)
        return std::nullopt; // an odd number of digits
    return bytes;
}

} // namespace text
