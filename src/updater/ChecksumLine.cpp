#include "ChecksumLine.h"

#include <array>
#include <cstdio>

namespace updater {

namespace {

char lowerCase(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::string digestText(const platform::Md5Digest &digest)
{
    static constexpr char hexDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2 + 1);
    for (const std::uint8_t byte : digest) {
        text += hexDigits[byte >> 4];
        text += hexDigits[byte & 0x0F];
    }
    text += '\n';
    return text;
}

std::string firstChecksumLine(std::string_view fileText)
{
    std::string_view line = fileText.substr(0, CHECKSUM_LINE_LIMIT);
    if (const auto lineFeed = line.find('\n'); lineFeed != std::string_view::npos)
        line = line.substr(0, lineFeed + 1);
    if (const auto nul = line.find('\0'); nul != std::string_view::npos)
        line = line.substr(0, nul);
    return std::string(line);
}

bool checksumLineMatches(std::string_view line, std::string_view digestText)
{
    if (line.size() != digestText.size())
        return false;
    for (std::size_t i = 0; i < line.size(); ++i)
        if (lowerCase(line[i]) != lowerCase(digestText[i]))
            return false;
    return true;
}

std::optional<std::string> readChecksumLine(const std::string &path)
{
    std::FILE *file = std::fopen(path.c_str(), "r");
    if (!file)
        return std::nullopt;
    std::array<char, CHECKSUM_LINE_LIMIT> head{};
    const std::size_t got = std::fread(head.data(), 1, head.size(), file);
    std::fclose(file);
    return firstChecksumLine(std::string_view(head.data(), got));
}

} // namespace updater
