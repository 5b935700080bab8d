// The stand-ins' stream handling without sockets: reassembly of both
// protocols from any cut of the stream, the driver's answers, the pieces of a
// split write.
#include "DriverRegistry.h"
#include "RecordAssembler.h"
#include "RecordText.h"
#include "RequestHandler.h"
#include "RequestStreamParser.h"
#include "RequestText.h"
#include "ResponseWriter.h"
#include "Text.h"
#include "protocol/LittleEndian.h"
#include "protocol/MenuItemRecord.h"
#include "protocol/WatchdogCommand.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes request(std::uint16_t type, const Bytes &payload, std::int32_t length)
{
    const auto header = RequestHeader{type, length}.encode();
    Bytes bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

Bytes request(std::uint16_t type, const Bytes &payload)
{
    return request(type, payload, static_cast<std::int32_t>(payload.size()));
}

Bytes buttonPayload(std::int32_t id)
{
    Bytes bytes(4);
    wire::putInt32(bytes.data(), id);
    return bytes;
}

Bytes menuPayload(const std::u16string &caption, std::int32_t itemId)
{
    MenuItemRecord record;
    record.caption = caption;
    record.itemId = itemId;
    const auto bytes = record.encode();
    return Bytes(bytes.begin(), bytes.end());
}

RequestStreamParser::Message message(std::uint16_t type, const Bytes &payload)
{
    return {RequestHeader{type, static_cast<std::int32_t>(payload.size())}, payload};
}

} // namespace

TEST(RequestStreamParserTest, ReassemblesRequestsFromAnyCutOfTheStream)
{
    Bytes stream = request(ADD_OEM_BUTTON, buttonPayload(93));
    const Bytes menu = request(ADD_MENU_ITEM, menuPayload(u"Turn on Tessel", 0));
    stream.insert(stream.end(), menu.begin(), menu.end());
    const Bytes empty = request(77, {});
    stream.insert(stream.end(), empty.begin(), empty.end());

    for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{7}, stream.size()}) {
        RequestStreamParser parser;
        std::vector<RequestStreamParser::Message> messages;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            auto result = parser.feed(stream.data() + at, std::min(piece, stream.size() - at));
            EXPECT_FALSE(result.badHeader);
            for (auto &m : result.messages)
                messages.push_back(std::move(m));
        }
        ASSERT_EQ(messages.size(), 3u) << "piece size " << piece;
        EXPECT_EQ(messages[0].header.type, ADD_OEM_BUTTON);
        EXPECT_EQ(messages[0].payload, buttonPayload(93));
        EXPECT_EQ(messages[1].payload, menuPayload(u"Turn on Tessel", 0));
        EXPECT_EQ(messages[2].header.type, 77);
        EXPECT_TRUE(messages[2].payload.empty());
        EXPECT_EQ(parser.partialBytes(), 0u);
    }
}

TEST(RequestStreamParserTest, CountsUnfinishedBytesAndKeepsLongPayloadsBounded)
{
    RequestStreamParser parser;
    const Bytes head = request(ADD_MENU_ITEM, Bytes(100, 0xAA), 144);
    EXPECT_TRUE(parser.feed(head.data(), 5).messages.empty());
    EXPECT_EQ(parser.partialBytes(), 5u);
    parser.feed(head.data() + 5, head.size() - 5);
    EXPECT_EQ(parser.partialBytes(), 108u);

    RequestStreamParser longOne;
    const Bytes big = request(5, Bytes(RequestStreamParser::MaxLength, 0x11));
    const auto result = longOne.feed(big.data(), big.size());
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].header.length, RequestStreamParser::MaxLength);
    EXPECT_EQ(result.messages[0].payload.size(), RequestStreamParser::KeptPayload);
}

TEST(RequestStreamParserTest, NegativeOrAbsurdLengthStopsTheStream)
{
    for (const std::int32_t length : {-1, -144, RequestStreamParser::MaxLength + 1, 0x7FFFFFFF}) {
        RequestStreamParser parser;
        Bytes stream = request(ADD_OEM_BUTTON, buttonPayload(1));
        const Bytes bad = request(ADD_MENU_ITEM, {}, length);
        stream.insert(stream.end(), bad.begin(), bad.end());
        const Bytes after = request(ADD_OEM_BUTTON, buttonPayload(2));
        stream.insert(stream.end(), after.begin(), after.end());

        const auto result = parser.feed(stream.data(), stream.size());
        ASSERT_EQ(result.messages.size(), 1u) << length;
        ASSERT_TRUE(result.badHeader);
        EXPECT_EQ(result.badHeader->length, length);
        EXPECT_TRUE(parser.failed());
        EXPECT_TRUE(parser.feed(after.data(), after.size()).messages.empty());
    }
}

TEST(RequestHandlerTest, AnswersAsTheDriverDoes)
{
    MenuItemIds ids;
    DriverRegistry registry(ids);
    RequestHandler handler(registry);

    EXPECT_EQ(handler.handle(message(ADD_OEM_BUTTON, buttonPayload(93)), false).answer, 93);
    EXPECT_EQ(handler.handle(message(ADD_OEM_BUTTON, buttonPayload(116)), false).answer, 116);
    const auto addMessage = message(ADD_MENU_ITEM, menuPayload(u"Turn on Tessel", 0));
    const auto added = handler.handle(addMessage, false);
    EXPECT_EQ(added.answer, 1);
    EXPECT_EQ(describeRequest(addMessage, added), "ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"Turn on Tessel\"");
    EXPECT_EQ(handler.handle(message(ADD_MENU_ITEM, menuPayload(u"Turn off Tessel", 0)), false).answer, 2);
    EXPECT_EQ(handler.handle(message(REMOVE_MENU_ITEM, menuPayload(u"x", 1)), false).answer, 1);
    EXPECT_EQ(handler.handle(message(REMOVE_MENU_ITEM, menuPayload(u"x", 1)), false).answer, -1);
    EXPECT_EQ(handler.handle(message(REMOVE_MENU_ITEM, menuPayload(u"x", 42)), false).answer, -1);

    ASSERT_NE(registry.newestItem(), nullptr);
    EXPECT_EQ(registry.newestItem()->id, 2);
    EXPECT_EQ(registry.newestItem()->caption, u"Turn off Tessel");
    EXPECT_EQ(registry.buttons(), (std::vector<std::int32_t>{93, 116}));

    // Ids keep counting after the client is forgotten.
    registry.forgetClientState();
    EXPECT_EQ(registry.newestItem(), nullptr);
    EXPECT_EQ(handler.handle(message(ADD_MENU_ITEM, menuPayload(u"again", 0)), false).answer, 3);
}

TEST(RequestHandlerTest, RejectsWithoutChangesAndSkipsWhatItDoesNotKnow)
{
    MenuItemIds ids;
    DriverRegistry registry(ids);
    RequestHandler handler(registry);

    EXPECT_EQ(handler.handle(message(ADD_OEM_BUTTON, buttonPayload(93)), true).answer, -1);
    EXPECT_EQ(handler.handle(message(ADD_MENU_ITEM, menuPayload(u"a", 0)), true).answer, -1);
    EXPECT_TRUE(registry.buttons().empty());
    EXPECT_TRUE(registry.menuItems().empty());

    const auto shortMessage = message(ADD_OEM_BUTTON, Bytes{1, 2});
    const auto shortButton = handler.handle(shortMessage, false);
    EXPECT_EQ(shortButton.answer, -1);
    EXPECT_EQ(describeRequest(shortMessage, shortButton), "ADD_OEM_BUTTON length=2 malformed need=4");
    EXPECT_EQ(handler.handle(message(REMOVE_MENU_ITEM, Bytes(143)), false).answer, -1);

    const auto unknownMessage = message(42, Bytes(10));
    const auto unknown = handler.handle(unknownMessage, false);
    EXPECT_FALSE(unknown.answer);
    EXPECT_EQ(describeRequest(unknownMessage, unknown), "UNKNOWN type=42 length=10 skipped");

    Bytes longer = buttonPayload(7);
    longer.resize(9);
    const auto extraMessage = message(ADD_OEM_BUTTON, longer);
    const auto withExtra = handler.handle(extraMessage, false);
    EXPECT_EQ(withExtra.answer, 7);
    EXPECT_EQ(describeRequest(extraMessage, withExtra), "ADD_OEM_BUTTON length=9 extra=5 buttonId=7");
}

TEST(DriverRegistryTest, CaptionsComeOutAsUtf8)
{
    EXPECT_EQ(toUtf8(u"Tessel \u00e9\u4e2d"), "Tessel \xc3\xa9\xe4\xb8\xad");
    EXPECT_EQ(toUtf8(u"\U0001F600"), "\xf0\x9f\x98\x80");
    const std::u16string lone{u'a', char16_t(0xD800), u'b'};
    EXPECT_EQ(toUtf8(lone), "a\xef\xbf\xbd"
                            "b");
}

TEST(SplitIntoPiecesTest, CrossesEveryHeaderFieldAndHalvesTheRest)
{
    Bytes message(12 + 10);
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<std::uint8_t>(i);
    const auto pieces = splitIntoPieces(message);
    std::vector<std::size_t> sizes;
    Bytes joined;
    for (const auto &piece : pieces) {
        sizes.push_back(piece.size());
        joined.insert(joined.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{1, 4, 7, 5, 5}));
    EXPECT_EQ(joined, message);
    EXPECT_EQ(splitIntoPieces(Bytes(12)).size(), 3u);
}

TEST(RecordAssemblerTest, RecordsCountOnlyWhenWhole)
{
    WatchdogMessage first;
    first.request = 1;
    first.command = LED_STATUS;
    WatchdogMessage second;
    second.command = VIDEO_DEVICE_LIST;
    second.state = 1;
    const auto a = first.encode();
    const auto b = second.encode();
    Bytes stream(a.begin(), a.end());
    stream.insert(stream.end(), b.begin(), b.end());
    stream.insert(stream.end(), a.begin(), a.begin() + 100);

    RecordAssembler assembler;
    EXPECT_TRUE(assembler.feed(stream.data(), 1000).empty());
    EXPECT_EQ(assembler.partialBytes(), 1000u);
    const auto records = assembler.feed(stream.data() + 1000, stream.size() - 1000);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(WatchdogMessage::decode(records[0]), first);
    EXPECT_EQ(WatchdogMessage::decode(records[1]), second);
    EXPECT_EQ(assembler.partialBytes(), 100u);
}

TEST(RecordTextTest, ShowsDevicesThatTheCountCoversAndWarnsOfImpossibleCounts)
{
    WatchdogMessage message;
    message.command = VIDEO_DEVICE_LIST;
    message.devices[0] = VideoDeviceEntry::make(2, "Brivara tessel Visualizer");
    message.devices[1] = VideoDeviceEntry::make(5, "quote\" and\nnewline");
    message.deviceCount = 2;
    EXPECT_EQ(record_text::describe(message), "request=0 command=564 VIDEO_DEVICE_LIST state=0 deviceCount=2");
    EXPECT_EQ(record_text::describeDevices(message),
              (std::vector<std::string>{"device slot=0 index=2 name=\"Brivara tessel Visualizer\"",
                                        "device slot=1 index=5 name=\"quote\\\" and\\x0anewline\""}));

    message.deviceCount = 1000;
    const auto lines = record_text::describeDevices(message);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "warning deviceCount=1000 outside 0..10");
    message.deviceCount = -3;
    EXPECT_EQ(record_text::describeDevices(message),
              (std::vector<std::string>{"warning deviceCount=-3 outside 0..10"}));
    EXPECT_EQ(record_text::summary(1, 95, 0), "request=1 command=95 - state=0");
}

TEST(EventTextTest, QuotedValuesStayOneLineOfValidUtf8)
{
    EXPECT_EQ(text::quoted("caf\xc3\xa9 \xf0\x9f\x98\x80"), "\"caf\xc3\xa9 \xf0\x9f\x98\x80\"");
    // A stray byte, a cut sequence, an encoded surrogate, an overlong slash.
    EXPECT_EQ(text::quoted("a\xff" "b\xc3"), "\"a\\xffb\\xc3\"");
    EXPECT_EQ(text::quoted("\xed\xa0\x80"), "\"\\xed\\xa0\\x80\"");
    EXPECT_EQ(text::quoted("\xc0\xaf"), "\"\\xc0\\xaf\"");
    EXPECT_EQ(text::quoted("tab\there\r\n\"\\"), "\"tab\\x09here\\x0d\\x0a\\\"\\\\\"");
}
