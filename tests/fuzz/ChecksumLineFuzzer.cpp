// Fuzzes the reading of a checksum file's first line and its comparison
// with the image digest. The first 16 bytes of an input are the digest, the
// rest is the checksum file's text.
#include "ChecksumLine.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// What an accepted file looks like, said differently from the code under
// test: the 32 digits in either case, then a line feed.
bool acceptable(std::string_view fileText, const std::string &digestText)
{
    if (fileText.size() < digestText.size() || fileText[digestText.size() - 1] != '\n')
        return false;
    for (std::size_t i = 0; i + 1 < digestText.size(); ++i)
        if (asciiLower(fileText[i]) != digestText[i])
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    platform::Md5Digest digest{};
    const std::size_t taken = std::min(size, digest.size());
    std::copy(data, data + taken, digest.begin());
    const std::string_view fileText(reinterpret_cast<const char *>(data) + taken, size - taken);

    const std::string digestText = updater::digestText(digest);
    const std::string line = updater::firstChecksumLine(fileText);
    if (line.size() > updater::CHECKSUM_LINE_LIMIT)
        std::abort();
    if (updater::checksumLineMatches(line, digestText) != acceptable(fileText, digestText))
        std::abort();
    return 0;
}
