// The driver stand-in as a program: a test plays the watchdog over a real
// loopback connection and drives the stand-in through its standard input.
#include "LoopbackSockets.h"
#include "StandInProcess.h"
#include "protocol/LittleEndian.h"
#include "protocol/MenuItemRecord.h"
#include "protocol/RequestHeader.h"
#include "protocol/ResponseHeader.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Bytes requestBytes(std::uint16_t type, const Bytes &payload, std::optional<std::int32_t> length = std::nullopt)
{
    const auto header = RequestHeader{type, length.value_or(static_cast<std::int32_t>(payload.size()))}.encode();
    Bytes bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

Bytes addButton(std::int32_t id)
{
    Bytes payload(4);
    wire::putInt32(payload.data(), id);
    return requestBytes(ADD_OEM_BUTTON, payload);
}

Bytes menuRequest(std::uint16_t type, const std::u16string &caption, std::int32_t itemId)
{
    MenuItemRecord record;
    record.caption = caption;
    record.itemId = itemId;
    const auto payload = record.encode();
    return requestBytes(type, Bytes(payload.begin(), payload.end()));
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

class DriverStandInTest : public testing::Test
{
protected:
    void SetUp() override { start({}); }

    void start(std::vector<std::string> extraArguments)
    {
        std::vector<std::string> arguments{"--port", "0"};
        arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
        driver = std::make_unique<StandInProcess>(BRIVARADRIVER_PROGRAM, arguments);
        const auto listening = driver->waitForLine("listening ");
        ASSERT_TRUE(listening);
        port = static_cast<std::uint16_t>(std::stoi(listening->substr(listening->rfind("port=") + 5)));
        watchdog = connect();
    }

    TestSocket connect()
    {
        TestSocket socket = TestSocket::connectTo(port);
        EXPECT_TRUE(socket.isValid());
        EXPECT_TRUE(driver->waitForLine("accepted peer="));
        return socket;
    }

    std::optional<ResponseHeader> readMessage(const TestSocket &from)
    {
        const auto bytes = from.receiveExactly(ResponseHeader::Size);
        if (!bytes)
            return std::nullopt;
        return ResponseHeader::decode(bytes->data());
    }

    // The value of the next REQUEST_RESULT, or INT32_MIN for anything else.
    std::int32_t answer()
    {
        const auto header = readMessage(watchdog);
        if (!header || header->type != REQUEST_RESULT || header->length != 0)
            return INT32_MIN;
        return header->value;
    }

    std::int32_t ask(const Bytes &request)
    {
        EXPECT_TRUE(watchdog.sendAll(request));
        return answer();
    }

    std::unique_ptr<StandInProcess> driver;
    std::uint16_t port = 0;
    TestSocket watchdog;
};

} // namespace

TEST_F(DriverStandInTest, AnswersEachRequestTypeAndKeepsWhatItWasGiven)
{
    EXPECT_EQ(ask(addButton(93)), 93);
    EXPECT_EQ(ask(addButton(116)), 116);
    EXPECT_EQ(ask(menuRequest(ADD_MENU_ITEM, u"Turn on Tessel", 0)), 1);
    EXPECT_TRUE(driver->waitForLine(
        "brivaradriver: request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"Turn on Tessel\""));
    EXPECT_EQ(ask(menuRequest(REMOVE_MENU_ITEM, u"Turn on Tessel", 1)), 1);
    EXPECT_EQ(ask(menuRequest(ADD_MENU_ITEM, u"Tessel ausschalten \u00fc", 0)), 2);
    EXPECT_EQ(ask(menuRequest(REMOVE_MENU_ITEM, u"x", 7)), -1);

    driver->send("status");
    EXPECT_TRUE(driver->waitForLine("status connected=yes"));
    EXPECT_TRUE(driver->waitForLine("status menuItem id=2 flag=1 caption=\"Tessel ausschalten \xc3\xbc\""));
    EXPECT_TRUE(driver->waitForLine("status buttons=93,116"));
    EXPECT_FALSE(driver->saw("status menuItem id=1"));
}

TEST_F(DriverStandInTest, CommandsReachTheWatchdogAsDriverEvents)
{
    ASSERT_EQ(ask(menuRequest(ADD_MENU_ITEM, u"Turn on Tessel", 0)), 1);
    driver->send("click");
    driver->send("oem 94");
    driver->send("send 2 5 4097");
    driver->send("send 0 9 -1");
    driver->send("oem 23");

    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{MENU_ITEM_CLICKED, 1, 0}));
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{OEM_BUTTON_PRESSED, 94, 0}));
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{2, 5, 4097}));
    const auto extra = watchdog.receiveExactly(4097);
    ASSERT_TRUE(extra);
    EXPECT_EQ((*extra)[0], 0);
    EXPECT_EQ((*extra)[4096], 0); // the counting pattern wraps every 256 bytes
    EXPECT_EQ((*extra)[4095], 0xFF);
    // A negative length goes out as the header alone.
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{REQUEST_RESULT, 9, -1}));
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{OEM_BUTTON_PRESSED, 23, 0}));

    driver->send("exit");
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{DRIVER_EXIT, 0, 0}));
    EXPECT_TRUE(watchdog.closedByPeer());
    EXPECT_EQ(driver->waitForExit(), 0);
}

TEST_F(DriverStandInTest, AnswerModesRejectDelayOrWithhold)
{
    driver->send("mode reject");
    ASSERT_TRUE(driver->waitForLine("mode reject"));
    EXPECT_EQ(ask(addButton(93)), -1);
    EXPECT_EQ(ask(menuRequest(ADD_MENU_ITEM, u"a", 0)), -1);

    driver->send("mode silent");
    ASSERT_TRUE(driver->waitForLine("mode silent"));
    ASSERT_TRUE(watchdog.sendAll(addButton(94)));
    EXPECT_TRUE(driver->waitForLine("unanswered value=94 reason=silent"));
    EXPECT_TRUE(watchdog.staysQuiet(300ms));

    driver->send("mode late 300");
    ASSERT_TRUE(driver->waitForLine("mode late delay=300ms"));
    const auto sentAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(watchdog.sendAll(menuRequest(ADD_MENU_ITEM, u"b", 0)));
    EXPECT_EQ(answer(), 1); // rejected adds used no id
    EXPECT_GE(std::chrono::steady_clock::now() - sentAt, 300ms);

    driver->send("mode normal");
    ASSERT_TRUE(driver->waitForLine("mode normal"));
    EXPECT_EQ(ask(addButton(95)), 95);
    driver->send("status");
    EXPECT_TRUE(driver->waitForLine("status buttons=94,95")); // silent took 94 without answering
}

TEST_F(DriverStandInTest, ReadsRequestsCutIntoPiecesOrGluedTogether)
{
    const Bytes stream = join({addButton(93), menuRequest(ADD_MENU_ITEM, u"Turn on Tessel", 0), addButton(116)});
    // The first two in one write, the third a byte at a time.
    const std::size_t firstTwo = 12 + 152;
    ASSERT_TRUE(watchdog.sendAll(Bytes(stream.begin(), stream.begin() + firstTwo)));
    for (std::size_t i = firstTwo; i < stream.size(); ++i) {
        ASSERT_TRUE(watchdog.sendAll(Bytes{stream[i]}));
        ::usleep(2000);
    }
    EXPECT_EQ(answer(), 93);
    EXPECT_EQ(answer(), 1);
    EXPECT_EQ(answer(), 116);
}

TEST_F(DriverStandInTest, SurvivesGarbageAndClosesOnImpossibleLengths)
{
    // An unknown type is skipped with its payload; a short payload is refused.
    ASSERT_TRUE(watchdog.sendAll(requestBytes(42, Bytes(10, 0xEE))));
    EXPECT_EQ(ask(addButton(93)), 93);
    EXPECT_TRUE(driver->waitForLine("request UNKNOWN type=42 length=10 skipped"));
    EXPECT_EQ(ask(requestBytes(ADD_OEM_BUTTON, Bytes{1, 2})), -1);

    ASSERT_TRUE(watchdog.sendAll(requestBytes(ADD_MENU_ITEM, {}, -144)));
    EXPECT_TRUE(watchdog.closedByPeer());
    EXPECT_TRUE(driver->waitForLine("protocol-error type=16 length=-144 reason=negative-length"));
    EXPECT_TRUE(driver->waitForLine("disconnected reason=protocol-error"));

    watchdog = connect();
    ASSERT_TRUE(watchdog.sendAll(requestBytes(ADD_OEM_BUTTON, {}, 0x40000000)));
    EXPECT_TRUE(watchdog.closedByPeer());
    EXPECT_TRUE(driver->waitForLine("reason=length-over-limit"));

    // A watchdog that vanishes in the middle of a request.
    watchdog = connect();
    const Bytes menu = menuRequest(ADD_MENU_ITEM, u"cut", 0);
    ASSERT_TRUE(watchdog.sendAll(Bytes(menu.begin(), menu.begin() + 100)));
    watchdog.close();
    EXPECT_TRUE(driver->waitForLine("disconnected reason=peer-closed partial=100"));

    watchdog = connect();
    EXPECT_EQ(ask(menuRequest(ADD_MENU_ITEM, u"whole", 0)), 1);
    EXPECT_TRUE(driver->isRunning());
}

TEST_F(DriverStandInTest, NewerConnectionReplacesTheOlderAndItsState)
{
    ASSERT_EQ(ask(addButton(93)), 93);
    TestSocket newer = connect();
    EXPECT_TRUE(watchdog.closedByPeer());
    EXPECT_TRUE(driver->saw("disconnected reason=replaced partial=0"));
    EXPECT_TRUE(driver->saw("forgot menuItems=0 buttons=1"));

    driver->send("drop");
    EXPECT_TRUE(newer.closedByPeer());
    driver->send("oem 1");
    EXPECT_TRUE(driver->waitForLine("error oem: not connected"));
    EXPECT_TRUE(connect().isValid());
}

TEST_F(DriverStandInTest, SplitSendsPiecesAndGlueSendsTwoMessagesAtOnce)
{
    driver->send("split");
    driver->send("oem 94");
    EXPECT_TRUE(driver->waitForLine("sent type=7 OEM_BUTTON_PRESSED value=94 length=0 pieces=3"));
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{OEM_BUTTON_PRESSED, 94, 0}));

    driver->send("glue");
    driver->send("oem 1");
    EXPECT_TRUE(driver->waitForLine("glue=held"));
    EXPECT_TRUE(watchdog.staysQuiet(150ms));
    driver->send("oem 2");
    EXPECT_TRUE(driver->waitForLine("glue=joined bytes=24"));
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{OEM_BUTTON_PRESSED, 1, 0}));
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{OEM_BUTTON_PRESSED, 2, 0}));
}

TEST_F(DriverStandInTest, ControlFifoTakesCommandsFromOneWriterAfterAnother)
{
    const std::string fifo = testing::TempDir() + "brivaradriver-control-" + std::to_string(::getpid());
    ::unlink(fifo.c_str());
    start({"--control", fifo, "--keep-running"});
    driver->closeInput();
    ASSERT_TRUE(driver->waitForLine("input stdin-closed keep-running=yes"));

    for (const char *command : {"oem 5\n", "oem 6\n"}) {
        FILE *writer = std::fopen(fifo.c_str(), "w");
        ASSERT_NE(writer, nullptr);
        std::fputs(command, writer);
        std::fclose(writer);
    }
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{OEM_BUTTON_PRESSED, 5, 0}));
    EXPECT_EQ(readMessage(watchdog), (ResponseHeader{OEM_BUTTON_PRESSED, 6, 0}));

    FILE *writer = std::fopen(fifo.c_str(), "w");
    ASSERT_NE(writer, nullptr);
    std::fputs("quit", writer); // no newline: the writer's close ends the line
    std::fclose(writer);
    EXPECT_EQ(driver->waitForExit(), 0);
    ::unlink(fifo.c_str());
}

TEST_F(DriverStandInTest, EndsCleanlyOnInputEndAndOnSignals)
{
    driver->closeInput();
    EXPECT_EQ(driver->waitForExit(), 0);
    EXPECT_TRUE(driver->saw("exiting code=0 reason=stdin-closed"));

    start({"--keep-running"});
    driver->signal(SIGTERM);
    EXPECT_EQ(driver->waitForExit(), 0);
    EXPECT_TRUE(driver->saw("exiting code=0 reason=SIGTERM"));
}
