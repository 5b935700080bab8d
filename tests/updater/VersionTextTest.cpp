// The library's wide version text turned into the printed bytes.
#include "VersionText.h"

#include <gtest/gtest.h>

namespace {

using updater::narrowVersionText;

TEST(VersionText, BecomesUtf8UpToTheTerminator)
{
    EXPECT_EQ(narrowVersionText(u"TESSEL FW 1.0.0"), "TESSEL FW 1.0.0");
    EXPECT_EQ(narrowVersionText(std::u16string(u"FW 2\0garbage", 12)), "FW 2");
    EXPECT_EQ(narrowVersionText(u"\u00dc \u20ac \U0001D11E"), "\xc3\x9c \xe2\x82\xac \xf0\x9d\x84\x9e");
    EXPECT_EQ(narrowVersionText(u""), "");
}

TEST(VersionText, LoneSurrogatesBecomeQuestionMarks)
{
    EXPECT_EQ(narrowVersionText(std::u16string{u'a', 0xD800, u'b'}), "a?b");
    EXPECT_EQ(narrowVersionText(std::u16string{0xDC00, u'b'}), "?b");
    EXPECT_EQ(narrowVersionText(std::u16string{u'a', 0xD834}), "a?");
}

TEST(VersionText, IsCutAtTheByteLimitOnACharacterBoundary)
{
    // 255 three-byte characters would be 765 bytes: 170 of them fill 510.
    const std::u16string euros(255, u'\u20ac');
    const std::string printed = narrowVersionText(euros);
    EXPECT_EQ(printed.size(), 510u);
    EXPECT_EQ(printed.substr(507), "\xe2\x82\xac");
    EXPECT_EQ(narrowVersionText(u"ab\u20ac", 4), "ab");
    EXPECT_EQ(narrowVersionText(std::u16string(600, u'x')).size(), 510u);
}

} // namespace
