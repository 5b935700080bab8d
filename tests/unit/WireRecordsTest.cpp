// The wire records against byte vectors written out by hand.
#include "protocol/ButtonReport.h"
#include "protocol/DriverMessageReader.h"
#include "protocol/MenuItemRecord.h"
#include "protocol/RequestHeader.h"
#include "protocol/ResponseHeader.h"
#include "protocol/WatchdogCommand.h"
#include "protocol/WatchdogMessage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

template<std::size_t N>
Bytes toVector(const std::array<std::uint8_t, N> &bytes)
{
    return Bytes(bytes.begin(), bytes.end());
}

// A byte stream that hands out its bytes in pieces of the given sizes (the
// last size repeats), as a TCP receive might.
class PiecewiseStream
{
public:
    PiecewiseStream(Bytes data, std::vector<std::size_t> pieces)
        : bytes(std::move(data)), sizes(std::move(pieces))
    {
    }

    long receive(void *buffer, std::size_t size)
    {
        if (position == bytes.size())
            return closeResult;
        std::size_t piece = sizes[std::min(call, sizes.size() - 1)];
        ++call;
        piece = std::min({piece, size, bytes.size() - position});
        std::memcpy(buffer, bytes.data() + position, piece);
        position += piece;
        return static_cast<long>(piece);
    }

    wire::ReceiveFunction function()
    {
        return [this](void *buffer, std::size_t size) { return receive(buffer, size); };
    }

    long closeResult = 0;
    std::size_t position = 0;

private:
    Bytes bytes;
    std::vector<std::size_t> sizes;
    std::size_t call = 0;
};

Bytes responseBytes(std::int32_t type, std::int32_t value, std::int32_t length)
{
    return toVector(ResponseHeader{type, value, length}.encode());
}

} // namespace

TEST(WatchdogMessageTest, EncodesNamedFieldsLittleEndianAndEverythingElseZero)
{
    WatchdogMessage message;
    message.request = 1;
    message.command = LED_STATUS; // 563 = 0x0233
    message.state = 1;
    const auto bytes = message.encode();

    ASSERT_EQ(bytes.size(), 2616u);
    const Bytes head(bytes.begin(), bytes.begin() + 12);
    EXPECT_EQ(head, (Bytes{0x01, 0, 0, 0, 0x33, 0x02, 0, 0, 0x01, 0, 0, 0}));
    EXPECT_TRUE(std::all_of(bytes.begin() + 12, bytes.end(), [](auto b) { return b == 0; }));
}

TEST(WatchdogMessageTest, DeviceListLaysEntriesOutIn260ByteSlotsWithCountAtTheEnd)
{
    WatchdogMessage message;
    message.command = VIDEO_DEVICE_LIST;
    message.devices[0] = VideoDeviceEntry::make(2, "Brivara tessel Visualizer");
    message.devices[1] = VideoDeviceEntry::make(-1, "x");
    message.deviceCount = 2;
    const auto bytes = message.encode();

    // First entry: index 2, then the name, zero-filled.
    EXPECT_EQ(Bytes(bytes.begin() + 12, bytes.begin() + 16), (Bytes{2, 0, 0, 0}));
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(bytes.data() + 16)), "Brivara tessel Visualizer");
    EXPECT_EQ(bytes[16 + 25], 0);
    // Second entry starts 260 bytes later.
    EXPECT_EQ(Bytes(bytes.begin() + 272, bytes.begin() + 277), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 'x'}));
    EXPECT_EQ(Bytes(bytes.end() - 4, bytes.end()), (Bytes{2, 0, 0, 0}));
}

TEST(WatchdogMessageTest, DecodesWhatItEncodesAndIgnoresThePadding)
{
    WatchdogMessage message;
    message.request = 1;
    message.command = -7;
    message.state = 0xFE;
    message.devices[9] = VideoDeviceEntry::make(123456, "last");
    message.deviceCount = 10;
    auto bytes = message.encode();
    bytes[9] = 0xAA; // padding carries nothing
    EXPECT_EQ(WatchdogMessage::decode(bytes), message);
}

TEST(VideoDeviceEntryTest, LongNamesAreCutAndStayTerminated)
{
    const auto entry = VideoDeviceEntry::make(0, std::string(400, 'n'));
    EXPECT_EQ(entry.name().size(), 255u);
    EXPECT_EQ(entry.deviceName.back(), '\0');
}

TEST(RequestHeaderTest, EncodesTypeAndLengthWithZeroPadding)
{
    EXPECT_EQ(toVector(RequestHeader{ADD_MENU_ITEM, 144}.encode()),
              (Bytes{0x10, 0x00, 0, 0, 0x90, 0, 0, 0}));
    const Bytes wire{0x09, 0x00, 0xEE, 0xEE, 0x04, 0, 0, 0};
    const auto decoded = RequestHeader::decode(wire.data());
    EXPECT_EQ(decoded.type, ADD_OEM_BUTTON);
    EXPECT_EQ(decoded.length, 4);
}

TEST(ResponseHeaderTest, DecodesSignedFields)
{
    const Bytes wire{0x00, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x10, 0, 0};
    const auto header = ResponseHeader::decode(wire.data());
    EXPECT_EQ(header.type, REQUEST_RESULT);
    EXPECT_EQ(header.value, -1);
    EXPECT_EQ(header.length, 4096);
    EXPECT_EQ(toVector(header.encode()), wire);
}

TEST(MenuItemRecordTest, EncodesFlagCaptionAndItemIdAtTheirOffsets)
{
    MenuItemRecord record;
    record.caption = u"On\u00e9";
    record.itemId = 0x01020304;
    const auto bytes = record.encode();

    ASSERT_EQ(bytes.size(), 144u);
    Bytes expected(144, 0);
    expected[0] = 1;
    expected[2] = 'O';
    expected[4] = 'n';
    expected[6] = 0xE9;
    expected[140] = 0x04;
    expected[141] = 0x03;
    expected[142] = 0x02;
    expected[143] = 0x01;
    EXPECT_EQ(toVector(bytes), expected);
}

TEST(MenuItemRecordTest, LongCaptionsAreCutTo64UnitsAndStayTerminated)
{
    MenuItemRecord record;
    record.caption = std::u16string(100, u'x');
    record.itemId = -1;
    const auto bytes = record.encode();
    // Unit 64 (bytes 130 and 131) is the terminator; the integers are intact.
    EXPECT_EQ(bytes[2 + 2 * 63], 'x');
    EXPECT_EQ(bytes[130], 0);
    EXPECT_EQ(bytes[131], 0);
    EXPECT_EQ(Bytes(bytes.begin() + 132, bytes.end()),
              (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(MenuItemRecord::decode(bytes.data()).caption.size(), 64u);
}

TEST(MenuItemRecordTest, CutNeverSplitsASurrogatePair)
{
    std::u16string caption(63, u'a');
    caption += u"\U0001F600"; // units 63 and 64
    EXPECT_EQ(MenuItemRecord::fittedCaption(caption), std::u16string(63, u'a'));
}

TEST(ButtonReportTest, LayoutAndRecognition)
{
    const auto bytes = ButtonReport{ButtonReport::Light}.encode();
    Bytes expected(65, 0);
    expected[2] = 0x01;
    expected[4] = 0x04;
    EXPECT_EQ(toVector(bytes), expected);

    std::uint8_t value = 0xFF;
    EXPECT_TRUE(ButtonReport::decode(bytes.data(), bytes.size(), value));
    EXPECT_EQ(value, 0x04);
    const Bytes zeros(65, 0);
    EXPECT_FALSE(ButtonReport::decode(zeros.data(), zeros.size(), value));
    EXPECT_FALSE(ButtonReport::decode(bytes.data(), 64, value));
}

TEST(DriverMessageReaderTest, CompletesShortReadsAndDropsExtraBytes)
{
    Bytes stream = responseBytes(MENU_ITEM_CLICKED, 5, 10);
    stream.insert(stream.end(), 10, 0xAB);
    const Bytes second = responseBytes(OEM_BUTTON_PRESSED, 94, 0);
    stream.insert(stream.end(), second.begin(), second.end());

    PiecewiseStream source(stream, {1, 3, 5});
    DriverMessageReader reader(source.function());
    auto first = reader.next();
    ASSERT_EQ(first.status, DriverMessageReader::Status::Message);
    EXPECT_EQ(first.header, (ResponseHeader{MENU_ITEM_CLICKED, 5, 10}));
    EXPECT_FALSE(first.closedAfterMessage);
    auto next = reader.next();
    ASSERT_EQ(next.status, DriverMessageReader::Status::Message);
    EXPECT_EQ(next.header, (ResponseHeader{OEM_BUTTON_PRESSED, 94, 0}));
    EXPECT_EQ(reader.next().status, DriverMessageReader::Status::Closed);
}

TEST(DriverMessageReaderTest, LengthsAboveTheBufferAreConsumedAndTheStreamStaysInStep)
{
    for (const std::int32_t length : {4096, 4097, 20000}) {
        Bytes stream = responseBytes(2, 0, length);
        stream.insert(stream.end(), static_cast<std::size_t>(length), 0x55);
        const Bytes after = responseBytes(REQUEST_RESULT, 7, 0);
        stream.insert(stream.end(), after.begin(), after.end());

        PiecewiseStream source(stream, {4096 * 3});
        DriverMessageReader reader(source.function());
        EXPECT_EQ(reader.next().header.length, length);
        const auto result = reader.next();
        ASSERT_EQ(result.status, DriverMessageReader::Status::Message) << length;
        EXPECT_EQ(result.header.value, 7) << length;
    }
}

TEST(DriverMessageReaderTest, NegativeLengthIsAProtocolError)
{
    PiecewiseStream source(responseBytes(REQUEST_RESULT, 1, -1), {12});
    DriverMessageReader reader(source.function());
    EXPECT_EQ(reader.next().status, DriverMessageReader::Status::ProtocolError);
}

TEST(DriverMessageReaderTest, ConnectionDroppedMidHeaderOrMidExtra)
{
    Bytes partialHeader = responseBytes(OEM_BUTTON_PRESSED, 23, 0);
    partialHeader.resize(7);
    PiecewiseStream midHeader(partialHeader, {3});
    EXPECT_EQ(DriverMessageReader(midHeader.function()).next().status,
              DriverMessageReader::Status::Closed);

    Bytes partialExtra = responseBytes(MENU_ITEM_CLICKED, 3, 100);
    partialExtra.insert(partialExtra.end(), 40, 1);
    PiecewiseStream midExtra(partialExtra, {12, 40});
    const auto result = DriverMessageReader(midExtra.function()).next();
    EXPECT_EQ(result.status, DriverMessageReader::Status::Message);
    EXPECT_EQ(result.header.value, 3);
    EXPECT_TRUE(result.closedAfterMessage);
}

TEST(DriverMessageReaderTest, ReceiveErrorIsReported)
{
    PiecewiseStream failing({}, {1});
    failing.closeResult = -1;
    const auto result = DriverMessageReader(failing.function()).next();
    EXPECT_EQ(result.status, DriverMessageReader::Status::ReceiveError);
    EXPECT_EQ(result.error, -1);
}
