// The viewer stand-in as a program: a test plays the watchdog's server over a
// real loopback connection and drives the stand-in through its standard input.
#include "LoopbackSockets.h"
#include "StandInProcess.h"
#include "protocol/WatchdogCommand.h"
#include "protocol/WatchdogMessage.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

Bytes recordBytes(std::int32_t request, std::int32_t command, std::uint8_t state = 0)
{
    WatchdogMessage message;
    message.request = request;
    message.command = command;
    message.state = state;
    const auto bytes = message.encode();
    return Bytes(bytes.begin(), bytes.end());
}

class ViewerStandInTest : public testing::Test
{
protected:
    void SetUp() override { start({}); }

    void start(std::vector<std::string> extraArguments)
    {
        std::vector<std::string> arguments{"--port", std::to_string(server.port())};
        arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
        viewer = std::make_unique<StandInProcess>(TESSEL_PROGRAM, arguments);
        connection = server.accept();
        ASSERT_TRUE(connection.isValid());
        ASSERT_TRUE(viewer->waitForLine("connected to="));
    }

    std::optional<WatchdogMessage> readRecord()
    {
        const auto bytes = connection.receiveExactly(WatchdogMessage::Size);
        if (!bytes)
            return std::nullopt;
        WatchdogMessage::Bytes record{};
        std::copy(bytes->begin(), bytes->end(), record.begin());
        return WatchdogMessage::decode(record);
    }

    static WatchdogMessage message(std::int32_t request, std::int32_t command, std::uint8_t state = 0)
    {
        WatchdogMessage m;
        m.request = request;
        m.command = command;
        m.state = state;
        return m;
    }

    TestListener server;
    std::unique_ptr<StandInProcess> viewer;
    TestSocket connection;
};

} // namespace

TEST_F(ViewerStandInTest, AssemblesRecordsThatArriveInPieces)
{
    WatchdogMessage list = message(0, VIDEO_DEVICE_LIST, 1);
    list.devices[0] = VideoDeviceEntry::make(3, "Brivara tessel Visualizer");
    list.deviceCount = 1;
    const auto bytes = list.encode();
    for (const auto &[from, to] : {std::pair{0, 1}, std::pair{1, 1300}, std::pair{1300, 2616}}) {
        ASSERT_TRUE(connection.sendAll(Bytes(bytes.begin() + from, bytes.begin() + to)));
        ::usleep(20'000);
    }
    EXPECT_TRUE(viewer->waitForLine("tessel: received request=0 command=564 VIDEO_DEVICE_LIST state=1 deviceCount=1"));
    EXPECT_TRUE(viewer->waitForLine("tessel: device slot=0 index=3 name=\"Brivara tessel Visualizer\""));

    // Two records and a bit in one write: two records, and a remainder that
    // is dropped, counted, when the watchdog goes away.
    Bytes two = recordBytes(0, CAMERA_READY, 1);
    const Bytes second = recordBytes(0, 95);
    two.insert(two.end(), second.begin(), second.end());
    two.insert(two.end(), 100, 0xEE);
    ASSERT_TRUE(connection.sendAll(two));
    EXPECT_TRUE(viewer->waitForLine("received request=0 command=561 CAMERA_READY state=1 deviceCount=0"));
    EXPECT_TRUE(viewer->waitForLine("received request=0 command=95 - state=0 deviceCount=0"));
    connection.close();
    EXPECT_TRUE(viewer->waitForLine("disconnected reason=peer-closed partial=100"));
    EXPECT_TRUE(viewer->isRunning());
}

TEST_F(ViewerStandInTest, AnswersRequestsUnlessSilent)
{
    ASSERT_TRUE(connection.sendAll(recordBytes(1, LED_STATUS)));
    EXPECT_EQ(readRecord(), message(0, LED_STATUS));
    // A response or notification from the watchdog gets no answer.
    ASSERT_TRUE(connection.sendAll(recordBytes(0, LIGHT, 1)));
    EXPECT_TRUE(connection.staysQuiet(200ms));

    viewer->send("silent on");
    ASSERT_TRUE(viewer->waitForLine("silent on"));
    ASSERT_TRUE(connection.sendAll(recordBytes(1, 117)));
    EXPECT_TRUE(viewer->waitForLine("unanswered command=117 - reason=silent"));
    EXPECT_TRUE(connection.staysQuiet(200ms));

    viewer->send("silent off");
    ASSERT_TRUE(viewer->waitForLine("silent off"));
    ASSERT_TRUE(connection.sendAll(recordBytes(1, ROTATE)));
    EXPECT_EQ(readRecord(), message(0, ROTATE));
}

TEST_F(ViewerStandInTest, TurnsOffWhenTheWatchdogAsksUnlessToldToStayOn)
{
    ASSERT_TRUE(connection.sendAll(recordBytes(1, VIEWER_ON_OFF)));
    EXPECT_EQ(readRecord(), message(0, VIEWER_ON_OFF));
    EXPECT_TRUE(connection.closedByPeer());
    EXPECT_EQ(viewer->waitForExit(), 0);
    EXPECT_TRUE(viewer->saw("exiting code=0 reason=turned-off-by-watchdog"));

    start({"--stay-on"});
    ASSERT_TRUE(connection.sendAll(recordBytes(1, VIEWER_ON_OFF)));
    EXPECT_EQ(readRecord(), message(0, VIEWER_ON_OFF));
    ASSERT_TRUE(connection.sendAll(recordBytes(1, LED_STATUS)));
    EXPECT_EQ(readRecord(), message(0, LED_STATUS));
}

TEST_F(ViewerStandInTest, HalfSendsExactlyHalfARequestAndCloses)
{
    viewer->send("half");
    const auto half = connection.receiveExactly(1308);
    ASSERT_TRUE(half);
    const Bytes whole = recordBytes(1, LED_STATUS);
    EXPECT_EQ(*half, Bytes(whole.begin(), whole.begin() + 1308));
    EXPECT_TRUE(connection.closedByPeer());
    EXPECT_TRUE(viewer->waitForLine("disconnected reason=closed-by-us"));

    viewer->send("connect");
    connection = server.accept();
    EXPECT_TRUE(connection.isValid());
    EXPECT_TRUE(viewer->waitForLine("connected to="));
}

TEST_F(ViewerStandInTest, ExitAnnouncesTheClosingThenLeaves)
{
    viewer->send("exit");
    EXPECT_EQ(readRecord(), message(1, VIEWER_ON_OFF));
    ASSERT_TRUE(connection.sendAll(recordBytes(0, VIEWER_ON_OFF)));
    EXPECT_TRUE(connection.closedByPeer());
    EXPECT_EQ(viewer->waitForExit(), 0);
    EXPECT_TRUE(viewer->saw("exiting code=0 reason=exit-command answer=answered"));

    // Without an answer it waits no longer than told.
    start({"--exit-wait", "200"});
    viewer->send("exit");
    EXPECT_EQ(readRecord(), message(1, VIEWER_ON_OFF));
    EXPECT_TRUE(connection.closedByPeer(2000ms));
    EXPECT_EQ(viewer->waitForExit(), 0);
    EXPECT_TRUE(viewer->saw("no-answer command=93 waited=200ms"));
}

TEST_F(ViewerStandInTest, CommandsSendExactlyWhatTheySay)
{
    viewer->send("request 563");
    viewer->send("response 562 1");
    viewer->send("raw 01 02 0a ff");
    EXPECT_EQ(readRecord(), message(1, LED_STATUS));
    EXPECT_EQ(readRecord(), message(0, EXIT_DOC_CAM_APPLICATION, 1));
    EXPECT_EQ(connection.receiveExactly(4), (Bytes{0x01, 0x02, 0x0A, 0xFF}));

    viewer->send("request 563 256");
    EXPECT_TRUE(viewer->waitForLine("error usage: request"));
    viewer->send("raw 0");
    EXPECT_TRUE(viewer->waitForLine("error usage: raw"));
    EXPECT_TRUE(connection.staysQuiet(100ms));
}

TEST_F(ViewerStandInTest, SendsStartRequestsAndExitsAfterEnoughRecords)
{
    viewer.reset();
    start({"--requests", "563,564", "--exit-after", "1"});
    EXPECT_EQ(readRecord(), message(1, LED_STATUS));
    EXPECT_EQ(readRecord(), message(1, VIDEO_DEVICE_LIST));
    ASSERT_TRUE(connection.sendAll(recordBytes(0, LED_STATUS, 1)));
    EXPECT_EQ(viewer->waitForExit(), 0);
    EXPECT_TRUE(viewer->saw("exiting code=0 reason=exit-after"));
}

TEST(ViewerConnectTest, RetriesUntilTheWatchdogListensAndGivesUpInTime)
{
    TestListener late(false); // the port is taken but refuses connections
    StandInProcess viewer(TESSEL_PROGRAM, {"--port", std::to_string(late.port()), "--connect-timeout", "5000"});
    ::usleep(300'000);
    late.listen();
    EXPECT_TRUE(late.accept().isValid());
    EXPECT_TRUE(viewer.waitForLine("connected to="));

    TestListener never(false);
    StandInProcess hopeless(TESSEL_PROGRAM, {"--port", std::to_string(never.port()), "--connect-timeout", "300"});
    EXPECT_EQ(hopeless.waitForExit(), 1);
    EXPECT_TRUE(hopeless.saw("connect-failed"));
}
