// The checksum line against the digest, the digest text, and MD5 itself
// against published and independently computed digests.
#include "ChecksumLine.h"
#include "platform/Md5.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using updater::checksumLineMatches;
using updater::firstChecksumLine;

const std::string digest = "0123456789abcdef0123456789abcdef\n";

struct LineCase
{
    const char *name;
    std::string fileText;
    bool accepted;
};

// Test output names the case instead of dumping its bytes.
void PrintTo(const LineCase &lineCase, std::ostream *out)
{
    *out << lineCase.name;
}

class ChecksumFile : public ::testing::TestWithParam<LineCase>
{
};

TEST_P(ChecksumFile, FirstLineIsAcceptedOnlyWhenItIsTheDigest)
{
    EXPECT_EQ(checksumLineMatches(firstChecksumLine(GetParam().fileText), digest), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(Updater, ChecksumFile, ::testing::Values(
    LineCase{"LowerCase", digest, true},
    LineCase{"UpperCase", "0123456789ABCDEF0123456789ABCDEF\n", true},
    LineCase{"MixedCase", "0123456789AbCdEf0123456789aBcDeF\n", true},
    LineCase{"LaterLinesIgnored", digest + "anything\n", true},
    LineCase{"NoLineEnd", "0123456789abcdef0123456789abcdef", false},
    LineCase{"TrailingText", "0123456789abcdef0123456789abcdef  image.bin\n", false},
    LineCase{"TrailingBlank", "0123456789abcdef0123456789abcdef \n", false},
    LineCase{"CarriageReturnInTheLine", "0123456789abcdef0123456789abcdef\r\n", false},
    LineCase{"Empty", "", false},
    LineCase{"EmptyFirstLine", "\n" + digest, false},
    LineCase{"OtherDigest", "0123456789abcdef0123456789abcdee\n", false},
    LineCase{"ShortDigest", "0123456789abcdef0123456789abcde\n", false},
    LineCase{"NulInsideTheLine", std::string("0123456789abcdef\0" "0123456789abcdef\n", 34), false}),
    [](const auto &test) { return std::string(test.param.name); });

TEST(ChecksumLine, FirstLineStopsAtTheLineFeedTheLimitAndANul)
{
    EXPECT_EQ(firstChecksumLine("ab\ncd\n"), "ab\n");
    EXPECT_EQ(firstChecksumLine(std::string(600, 'x')), std::string(511, 'x'));
    EXPECT_EQ(firstChecksumLine(std::string(511, 'x') + "\n"), std::string(511, 'x'));
    EXPECT_EQ(firstChecksumLine(std::string("ab\0cd\n", 6)), "ab");
}

TEST(ChecksumLine, DigestTextIsLowerCaseHexWithALineFeed)
{
    platform::Md5Digest bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 17 + 10);
    EXPECT_EQ(updater::digestText(bytes), "0a1b2c3d4e5f708192a3b4c5d6e7f809\n");
}

std::string md5Text(const std::string &bytes)
{
    const auto digest = platform::computeMd5(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    return digest ? updater::digestText(*digest) : "none";
}

TEST(Md5, MatchesKnownDigests)
{
    // RFC 1321's test suite, and md5sum over the backup stand-in's pattern
    // (byte i = i * 7 mod 251) and over 16384 zero bytes.
    EXPECT_EQ(md5Text(""), "d41d8cd98f00b204e9800998ecf8427e\n");
    EXPECT_EQ(md5Text("abc"), "900150983cd24fb0d6963f7d28e17f72\n");
    EXPECT_EQ(md5Text("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a\n");
    std::string pattern(16384, '\0');
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>(i * 7 % 251);
    EXPECT_EQ(md5Text(pattern), "1ed4c5932443f9b719ebd31a8bdfa918\n");
    EXPECT_EQ(md5Text(std::string(16384, '\0')), "ce338fe6899778aacfc28414f2d9498b\n");
}

} // namespace
