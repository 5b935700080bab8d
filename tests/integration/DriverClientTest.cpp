// The driver API client against a driver on a real loopback socket.
#include "driverapi/APIClient.h"
#include "driverapi/APIEventHandler.h"
#include "protocol/RequestHeader.h"
#include "protocol/ResponseHeader.h"

#include "LogCapture.h"
#include "SanitizerSlowdown.h"
#include "TestDriver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <mutex>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <thread>

namespace {

// A driver that takes the connection and then stops reading. Its receive
// buffer is large enough that what it sends later opens no window, so a
// blocked send stays blocked.
class StalledDriver
{
public:
    StalledDriver()
    {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int buffer = 256 * 1024;
        ::setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address);
        ::listen(listener, 1);
        socklen_t length = sizeof address;
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~StalledDriver()
    {
        if (connection >= 0)
            ::close(connection);
        ::close(listener);
    }
    bool accept()
    {
        connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        return connection >= 0;
    }
    bool send(std::int32_t type, std::int32_t value)
    {
        const auto bytes = ResponseHeader{type, value, 0}.encode();
        return ::send(connection, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
    }

    std::uint16_t port = 0;

private:
    int listener = -1;
    int connection = -1;
};

// Records each event as "name(value)" with the thread it arrived on.
class RecordingEvents final : public APIEventHandler
{
public:
    bool handleDisconnection(int reason) override { return record("disconnection", reason); }
    bool handleOemBtnPressed(int id) override { return record("oem", id); }
    bool handleBrivaraDriverExit() override { return record("exit", 0); }
    bool handleMenuItemClicked(int id) override { return record("clicked", id); }

    QStringList events() const
    {
        std::lock_guard locker(mutex);
        return recorded;
    }
    bool waitForEvents(int count, int timeoutMs = 3000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (events().size() < count && !deadline.hasExpired())
            QThread::msleep(2);
        return events().size() >= count;
    }
    QThread *lastThread() const
    {
        std::lock_guard locker(mutex);
        return thread;
    }

private:
    bool record(const char *name, int value)
    {
        std::lock_guard locker(mutex);
        recorded.append(QStringLiteral("%1(%2)").arg(name).arg(value));
        thread = QThread::currentThread();
        return true;
    }
    mutable std::mutex mutex;
    QStringList recorded;
    QThread *thread = nullptr;
};

class DriverClientTest : public ::testing::Test
{
protected:
    void connect()
    {
        ASSERT_TRUE(client.connectToServer());
        client.startClient();
        ASSERT_TRUE(driver.waitForConnection());
    }

    MenuItemRecord item(const std::u16string &caption, int id = 0)
    {
        MenuItemRecord record;
        record.caption = caption;
        record.itemId = id;
        return record;
    }

    LogCapture log;
    TestDriver driver;
    RecordingEvents events;
    APIClient client{&events, driver.port()};
};

} // namespace

TEST_F(DriverClientTest, ConnectsOnceAndSaysSoWhenAskedAgain)
{
    connect();
    EXPECT_TRUE(client.isConnected());
    EXPECT_TRUE(client.connectToServer());
    EXPECT_TRUE(log.contains("<APIClient::connectToServer> already connected to Brivara Driver server."));
    QThread::msleep(50);
    EXPECT_EQ(driver.connections(), 1);
}

TEST_F(DriverClientTest, NoDriverMeansNoConnectionAndRequestsFailQuietly)
{
    std::uint16_t unusedPort = 0;
    {
        TestDriver gone;
        unusedPort = gone.port();
    }
    APIClient lonely(&events, unusedPort);
    EXPECT_FALSE(lonely.connectToServer());
    EXPECT_TRUE(log.contains("<APIClient::connectToServer()> Could not connect to the Brivara Server."));
    EXPECT_FALSE(lonely.isConnected());
    log.clear();
    EXPECT_FALSE(lonely.addOEMButton(93));
    EXPECT_FALSE(lonely.addBVDOCCAMConfigurationMenuItem(item(u"x")));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(DriverClientTest, RequestsGoOutAsTheirExactBytes)
{
    connect();
    EXPECT_TRUE(client.addOEMButton(93));
    EXPECT_TRUE(client.addBVDOCCAMConfigurationMenuItem(item(u"Turn on Tessel")));
    EXPECT_TRUE(client.removeBVDOCCAMConfigurationMenuItem(item(u"Turn off Tessel", 1)));
    const auto requests = driver.requests();
    ASSERT_EQ(requests.size(), 3u);

    EXPECT_EQ(requests[0].wire, (std::vector<std::uint8_t>{9, 0, 0, 0, 4, 0, 0, 0, 93, 0, 0, 0}));
    ASSERT_EQ(requests[1].wire.size(), 152u);
    EXPECT_EQ(std::vector<std::uint8_t>(requests[1].wire.begin(), requests[1].wire.begin() + 8),
              (std::vector<std::uint8_t>{16, 0, 0, 0, 144, 0, 0, 0}));
    const auto added = item(u"Turn on Tessel").encode();
    EXPECT_EQ(std::vector<std::uint8_t>(requests[1].wire.begin() + 8, requests[1].wire.end()),
              std::vector<std::uint8_t>(added.begin(), added.end()));
    EXPECT_EQ(requests[2].type, REMOVE_MENU_ITEM);
    EXPECT_EQ(requests[2].menuItem().itemId, 1);
}

TEST_F(DriverClientTest, AnswersDecideTheResultsAndTheMenuItemId)
{
    connect();
    driver.setMode(TestDriver::Mode::Fixed, 7);
    EXPECT_TRUE(client.addOEMButton(7));
    driver.setMode(TestDriver::Mode::Fixed, 8);
    EXPECT_FALSE(client.addOEMButton(7));

    EXPECT_EQ(client.menuItemId(), -1);
    driver.setMode(TestDriver::Mode::Fixed, 5);
    EXPECT_TRUE(client.addBVDOCCAMConfigurationMenuItem(item(u"a")));
    EXPECT_EQ(client.menuItemId(), 5);
    EXPECT_TRUE(log.contains("<APIClient::addBVDOCCAMConfigurationMenuItem()> addMenuItem response:  5"));

    driver.setMode(TestDriver::Mode::Reject);
    EXPECT_FALSE(client.addBVDOCCAMConfigurationMenuItem(item(u"b")));
    EXPECT_FALSE(client.removeBVDOCCAMConfigurationMenuItem(item(u"b", 5)));
    EXPECT_EQ(client.menuItemId(), 5);

    driver.setMode(TestDriver::Mode::Fixed, 0);
    EXPECT_TRUE(client.removeBVDOCCAMConfigurationMenuItem(item(u"c", 5)));
    EXPECT_TRUE(log.contains("<APIClient::removeBVDOCCAMConfigurationMenuItem()> removeMenuItem response:  0"));
}

TEST_F(DriverClientTest, AnUnansweredRequestTimesOutAndTheNextOneStillWorks)
{
    connect();
    client.setAnswerTimeout(300);
    driver.setMode(TestDriver::Mode::Silent);
    EXPECT_FALSE(client.addBVDOCCAMConfigurationMenuItem(item(u"a")));
    EXPECT_TRUE(log.contains("<APIClient::addBVDOCCAMConfigurationMenuItem()> increase trial count:  0"));
    EXPECT_FALSE(client.removeBVDOCCAMConfigurationMenuItem(item(u"a", 3)));
    EXPECT_TRUE(log.contains("<APIClient::removeBVDOCCAMConfigurationMenuItem()> increase trial count:  0"));
    EXPECT_FALSE(client.addOEMButton(94));
    EXPECT_TRUE(client.isConnected()) << "a time-out keeps the connection";

    driver.setMode(TestDriver::Mode::Normal);
    EXPECT_TRUE(client.addOEMButton(95));
}

TEST_F(DriverClientTest, AWaitingRequestBlocksNeitherEventsNorOtherThreads)
{
    connect();
    client.setAnswerTimeout(1500);
    driver.setMode(TestDriver::Mode::Silent);
    std::thread requester([this] { client.addOEMButton(96); });
    ASSERT_TRUE(driver.waitForRequests(1));
    driver.sendMessage(MENU_ITEM_CLICKED, 4);
    EXPECT_TRUE(events.waitForEvents(1, 1000)) << "events arrive while a request waits";
    requester.join();
    EXPECT_EQ(events.events(), QStringList{"clicked(4)"});
}

TEST(DriverClientStalledTest, ASendThatADriverHoldsUpDelaysNeitherItsAnswerNorItsEvents)
{
    StalledDriver driver;
    RecordingEvents events;
    APIClient client(&events, driver.port);
    ASSERT_TRUE(client.connectToServer());
    client.startClient();
    ASSERT_TRUE(driver.accept());

    // Unanswered requests, one after the other, until the driver's buffer is
    // full and a send blocks.
    client.setAnswerTimeout(0);
    std::atomic<int> requests{0};
    std::jthread requester([&](std::stop_token stop) {
        while (!stop.stop_requested() && client.isConnected()) {
            client.addBVDOCCAMConfigurationMenuItem(MenuItemRecord{});
            ++requests;
        }
    });
    int seen = -1;
    QDeadlineTimer deadline(30000 * SanitizerSlowdown);
    while (seen != requests && !deadline.hasExpired()) {
        seen = requests;
        QThread::msleep(200);
    }
    ASSERT_FALSE(deadline.hasExpired()) << "the sends never blocked, after " << seen;

    // Now the driver speaks: an answer, then an event.
    ASSERT_TRUE(driver.send(REQUEST_RESULT, 7));
    ASSERT_TRUE(driver.send(OEM_BUTTON_PRESSED, 116));
    EXPECT_TRUE(events.waitForEvents(1, 1000 * SanitizerSlowdown))
        << "the event waited for the blocked send";
    requester.request_stop();
    client.disconnectFromServer(); // ends the blocked send
    requester.join();
    EXPECT_EQ(events.events().value(0), "oem(116)");
}

TEST_F(DriverClientTest, EventsArriveOnTheReceiveThreadAndUnknownTypesAreSkipped)
{
    connect();
    driver.sendMessage(MENU_ITEM_CLICKED, 5);
    driver.sendMessage(DRIVER_EXIT, 0);
    driver.sendMessage(2, 99, 10);
    driver.sendMessage(OEM_BUTTON_PRESSED, 116);
    ASSERT_TRUE(events.waitForEvents(3));
    EXPECT_EQ(events.events(), (QStringList{"clicked(5)", "exit(0)", "oem(116)"}));
    EXPECT_EQ(events.lastThread(), &client);
    EXPECT_TRUE(log.contains("<APIClient::handleCommunication()> ResponseType(default):  2"));
    EXPECT_TRUE(client.isConnected());
}

TEST_F(DriverClientTest, ExtraBytesOfAnyLengthKeepTheStreamInStep)
{
    connect();
    for (const int length : {0, 4096, 4097, 9000})
        driver.sendMessage(OEM_BUTTON_PRESSED, length, length);
    // A message split across sends and two glued into one.
    const auto a = ResponseHeader{MENU_ITEM_CLICKED, 1, 0}.encode();
    const auto b = ResponseHeader{MENU_ITEM_CLICKED, 2, 0}.encode();
    driver.sendBytes(a.data(), 5);
    QThread::msleep(30);
    std::vector<std::uint8_t> rest(a.begin() + 5, a.end());
    rest.insert(rest.end(), b.begin(), b.end());
    driver.sendBytes(rest.data(), rest.size());
    ASSERT_TRUE(events.waitForEvents(6));
    EXPECT_EQ(events.events(), (QStringList{"oem(0)", "oem(4096)", "oem(4097)", "oem(9000)", "clicked(1)",
                                            "clicked(2)"}));
}

TEST_F(DriverClientTest, ANegativeLengthClosesTheConnection)
{
    connect();
    driver.sendMessage(OEM_BUTTON_PRESSED, 1, -1);
    ASSERT_TRUE(events.waitForEvents(1));
    EXPECT_EQ(events.events(), QStringList{"disconnection(-1)"});
    EXPECT_TRUE(client.wait(3000));
    EXPECT_FALSE(client.isConnected());
}

TEST_F(DriverClientTest, TheDriverClosingIsReportedOnceAndTheClientCanReconnect)
{
    connect();
    driver.dropConnection();
    ASSERT_TRUE(events.waitForEvents(1));
    EXPECT_TRUE(client.wait(3000));
    EXPECT_EQ(events.events(), QStringList{"disconnection(-1)"});
    EXPECT_TRUE(log.contains("<APIClient::handleCommunication()> handle disconnect."));
    EXPECT_FALSE(client.isConnected());

    // The same object connects again, as the periodic check does.
    ASSERT_TRUE(client.connectToServer());
    client.startClient();
    EXPECT_TRUE(client.addOEMButton(23));
    EXPECT_EQ(driver.connections(), 2);
}

TEST_F(DriverClientTest, ADisconnectFromHereEndsTheReceiveThreadWithoutAReport)
{
    connect();
    EXPECT_TRUE(client.disconnectFromServer());
    EXPECT_TRUE(client.wait(3000));
    EXPECT_FALSE(client.isConnected());
    EXPECT_TRUE(events.events().isEmpty());
    EXPECT_FALSE(client.addOEMButton(93));
}

TEST_F(DriverClientTest, DisconnectsRacingFromSeveralThreadsCloseTheSocketOnce)
{
    for (int round = 0; round < 20; ++round) {
        if (!client.isConnected())
            connect();
        std::thread a([this] { client.disconnectFromServer(); });
        std::thread b([this] { client.disconnectFromServer(); });
        driver.dropConnection();
        a.join();
        b.join();
        EXPECT_TRUE(client.wait(3000));
        EXPECT_FALSE(client.isConnected());
    }
}
