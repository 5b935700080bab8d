#pragma once

#include "platform/Md5.h"

#include <optional>
#include <string>
#include <string_view>

namespace updater {

// Longest first line read from a checksum file, line feed included.
inline constexpr std::size_t CHECKSUM_LINE_LIMIT = 511;

// The digest as the checksum files carry it: 32 lower-case hexadecimal
// digits and a line feed.
std::string digestText(const platform::Md5Digest &digest);

// The first line of a checksum file's text, the way a C line read sees it:
// up to and including the first line feed, at most CHECKSUM_LINE_LIMIT
// characters, and ending at a NUL byte.
std::string firstChecksumLine(std::string_view fileText);

// Whether a checksum line names the digest: the whole line, line feed
// included, equals the digest text, letter case aside.
bool checksumLineMatches(std::string_view line, std::string_view digestText);

// The first line of a checksum file, read in text mode (so a Windows line
// end counts as a line feed there); nothing when the file cannot be opened.
std::optional<std::string> readChecksumLine(const std::string &path);

} // namespace updater
