// The report descriptor parser that gives hidraw devices their Windows-layout
// report lengths.
#include "CameraModel.h"
#include "platform/linux/HidReportDescriptor.h"

#include <gtest/gtest.h>

#include <vector>

using platform::linux_backend::parseReportDescriptor;

namespace {

std::optional<platform::linux_backend::HidReportLayout> parse(const std::vector<std::uint8_t> &bytes)
{
    return parseReportDescriptor(bytes.data(), bytes.size());
}

// A keyboard (report 1: 8 bytes in, 1 byte out) and a consumer control
// (report 2: 2 bytes in).
const std::vector<std::uint8_t> KeyboardWithIds{
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01,
    0x75, 0x08, 0x81, 0x03, 0x95, 0x05, 0x75, 0x01, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x03,
    0x95, 0x06, 0x75, 0x08, 0x81, 0x00, 0xC0, 0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02, 0x75,
    0x10, 0x95, 0x01, 0x81, 0x00, 0xC0,
};

TEST(HidReportDescriptor, CameraDescriptorGivesSixtyFiveByteReportsWithoutIds)
{
    const auto layout = parse(camera_standin::CameraModel::reportDescriptor());
    ASSERT_TRUE(layout);
    EXPECT_FALSE(layout->usesReportIds);
    EXPECT_EQ(layout->largestInputReport, 64u);
    EXPECT_EQ(layout->largestOutputReport, 64u);
    EXPECT_EQ(layout->windowsInputReportLength(), 65u);
}

TEST(HidReportDescriptor, ReportsWithIdsAreSizedSeparatelyAndTheLargestCounts)
{
    const auto layout = parse(KeyboardWithIds);
    ASSERT_TRUE(layout);
    EXPECT_TRUE(layout->usesReportIds);
    EXPECT_EQ(layout->largestInputReport, 8u);
    EXPECT_EQ(layout->largestOutputReport, 1u);
    EXPECT_EQ(layout->windowsInputReportLength(), 9u);
}

TEST(HidReportDescriptor, BitFieldsRoundUpToWholeBytes)
{
    // 3 bits + 7 bits of input: 10 bits, two bytes.
    const auto layout = parse({0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x95, 0x07, 0x81, 0x03});
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->largestInputReport, 2u);
}

TEST(HidReportDescriptor, PushAndPopRestoreTheGlobalState)
{
    // Size 8 x count 4 pushed; size 1 x count 1 in between; after the pop
    // the second input is 4 bytes again: 4 + 1 bit + 4 = 9 bytes.
    const auto layout = parse({0x75, 0x08, 0x95, 0x04, 0xA4, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02, 0xB4,
                               0x81, 0x02, 0x81, 0x02});
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->largestInputReport, 9u);
}

TEST(HidReportDescriptor, LongItemsAreSkipped)
{
    const auto layout = parse({0xFE, 0x02, 0x10, 0xAA, 0xBB, 0x75, 0x08, 0x95, 0x02, 0x81, 0x02});
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->largestInputReport, 2u);
}

TEST(HidReportDescriptor, NoInputItemsGiveNoInputReport)
{
    const auto layout = parse({0x75, 0x08, 0x95, 0x02, 0x91, 0x02});
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->windowsInputReportLength(), 0u);
    EXPECT_EQ(layout->largestOutputReport, 2u);
    const auto empty = parseReportDescriptor(nullptr, 0);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->windowsInputReportLength(), 0u);
}

TEST(HidReportDescriptor, MalformedDescriptorsAreRejectedWithoutReadingPastTheEnd)
{
    EXPECT_FALSE(parse({0x75}));                         // Report Size without its byte
    EXPECT_FALSE(parse({0x95, 0x40, 0x27, 0x01, 0x02})); // 4-byte item cut short
    EXPECT_FALSE(parse({0xFE, 0x05, 0x10, 0x01}));       // long item cut short
    EXPECT_FALSE(parse({0xFE, 0x00}));                   // long item without tag
    EXPECT_FALSE(parse({0xB4}));                         // Pop without Push
    EXPECT_FALSE(parse({0x85, 0x00}));                   // report ID 0
    // 0xFFFF bits x 0xFFFF: far beyond any report.
    EXPECT_FALSE(parse({0x76, 0xFF, 0xFF, 0x96, 0xFF, 0xFF, 0x81, 0x02}));
}

} // namespace
