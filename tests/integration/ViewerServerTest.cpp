// The viewer server over real loopback sockets: every request code, records
// in pieces and cut short, viewers that replace each other, and what the
// watchdog sends on its own.
#include "camera/USBCameraHandler.h"
#include "server/WDServer.h"
#include "protocol/WatchdogCommand.h"

#include "FakeControlLibrary.h"
#include "FakePlatform.h"
#include "LogCapture.h"
#include "SanitizerSlowdown.h"
#include "TestViewer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QThread>

#include <algorithm>
#include <filesystem>
#include <random>
#include <set>

namespace {

const std::string CameraHidPath = "/dev/hidraw0 hid#vid_7a3e&pid_4b20";

class ViewerServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FakeControlLibrary::install(system.moduleLoader);
        system.hidInterfaces.addInterface(CameraHidPath, camera);
        system.video.setDevices(std::vector<std::optional<std::string>>{
            std::string("/sys/class/video4linux/video0 usb#vid_7a3e&pid_4b10 Brivara tessel Visualizer")});
        ASSERT_TRUE(server.startUsbCommunication());
        server.startServer();
        for (int i = 0; i < 200 && server.listeningPort() == 0; ++i)
            QThread::msleep(5);
        ASSERT_NE(server.listeningPort(), 0);
    }

    void TearDown() override { stopServing(); }

    void stopServing()
    {
        server.stopServer();
        server.waitForServerThread();
    }

    std::unique_ptr<TestViewer> connectViewer()
    {
        auto viewer = std::make_unique<TestViewer>(server.listeningPort());
        EXPECT_TRUE(viewer->isConnected());
        // Until the server has taken the connection, sends would go nowhere.
        for (int i = 0; i < 400 && !server.isViewerConnected(); ++i)
            QThread::msleep(5);
        return viewer;
    }

    fakes::FakePlatform system;
    std::shared_ptr<fakes::FakeHidDevice> camera = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65);
    LogCapture log;
    WDServer server{0};
};

WatchdogMessage::Bytes zeroRecordWith(std::int32_t request, std::int32_t command, std::uint8_t state)
{
    WatchdogMessage message;
    message.request = request;
    message.command = command;
    message.state = state;
    return message.encode();
}

} // namespace

TEST_F(ViewerServerTest, AnswersEachHandledRequestWithAZeroedRecord)
{
    auto viewer = connectViewer();
    FakeControlLibrary::ledResult = 1;

    struct Case
    {
        std::int32_t command;
        std::uint8_t expectedState;
    };
    for (const Case &request : {Case{LED_STATUS, 1}, Case{117, 0}, Case{LIGHT, 1}, Case{LIGHT, 0},
                                Case{FOCUS_BY_WATCHDOG_ON, 0}}) {
        // Garbage in the device area of the request must not come back.
        WatchdogMessage message;
        message.request = 1;
        message.command = request.command;
        message.devices[3] = VideoDeviceEntry::make(77, "junk");
        message.deviceCount = 99;
        ASSERT_TRUE(viewer->send(message));
        const auto answer = viewer->receiveBytes();
        ASSERT_TRUE(answer) << request.command;
        EXPECT_EQ(*answer, zeroRecordWith(0, request.command, request.expectedState)) << request.command;
    }
    EXPECT_TRUE(server.currentCameraHandler()->isFocusByWatchdog());
    ASSERT_TRUE(viewer->sendRequest(FOCUS_BY_WATCHDOG_OFF));
    ASSERT_TRUE(viewer->receive());
    EXPECT_FALSE(server.currentCameraHandler()->isFocusByWatchdog());
    // The two light requests switched the light on and off again.
    EXPECT_EQ(camera->buttonValues(), (std::vector<int>{0x04, 0x00, 0x04, 0x00}));
}

TEST_F(ViewerServerTest, ViewerOnOffClearsFocusAndReportsTheViewerClosing)
{
    auto viewer = connectViewer();
    QSignalSpy closing(&server, &WDServer::WatchdogZoomApplicationClose);
    server.currentCameraHandler()->enableFocusByWatchdog();
    ASSERT_TRUE(viewer->sendRequest(VIEWER_ON_OFF));
    const auto answer = viewer->receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->command, VIEWER_ON_OFF);
    EXPECT_EQ(answer->request, 0);
    EXPECT_EQ(closing.size(), 1);
    EXPECT_FALSE(server.currentCameraHandler()->isFocusByWatchdog());
}

TEST_F(ViewerServerTest, VideoDeviceListCarriesAtMostTenEntries)
{
    std::vector<std::optional<std::string>> devices;
    for (int i = 0; i < 12; ++i)
        devices.push_back("/sys/class/video4linux/video" + std::to_string(i) + " usb#vid_7a3e&pid_4b10 x");
    system.video.setDevices(devices);
    ASSERT_TRUE(server.featchVideoDeviceInformation());
    auto viewer = connectViewer();
    ASSERT_TRUE(viewer->sendRequest(VIDEO_DEVICE_LIST));
    const auto answer = viewer->receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->state, 1) << "the camera is present";
    EXPECT_EQ(answer->deviceCount, 10);
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(answer->devices[i].deviceIndex, i);
        EXPECT_EQ(answer->devices[i].name(), "Brivara tessel Visualizer");
    }
    EXPECT_TRUE(log.contains("Device Index: 9 Device Name: Brivara tessel Visualizer"));

    system.video.setDevices(std::vector<std::optional<std::string>>{std::string("/dev/video0 usb#vid_046d&pid_0825")});
    ASSERT_TRUE(server.featchVideoDeviceInformation());
    ASSERT_TRUE(viewer->sendRequest(VIDEO_DEVICE_LIST));
    const auto empty = viewer->receiveBytes();
    ASSERT_TRUE(empty);
    EXPECT_EQ(*empty, zeroRecordWith(0, VIDEO_DEVICE_LIST, 1));
}

TEST_F(ViewerServerTest, RotateIsCarriedOutButNeverAnsweredAndOthersAreIgnoredSilently)
{
    auto viewer = connectViewer();
    ASSERT_TRUE(viewer->sendRequest(ROTATE));
    for (const int code : {95, 118, 140, int(CAMERA_READY), 0, -5})
        ASSERT_TRUE(viewer->sendRequest(code));
    EXPECT_TRUE(viewer->silentFor(300));
    EXPECT_EQ(camera->buttonValues(), (std::vector<int>{0x02, 0x00}));
    EXPECT_TRUE(log.matching("ManageWatchDogServer").isEmpty());

    // A record that is not a request is only logged.
    WatchdogMessage response;
    response.command = LIGHT;
    ASSERT_TRUE(viewer->send(response));
    EXPECT_TRUE(log.waitFor("<ManageWatchDogServer::run()> RESPONSE_WD Command= 116"));
    EXPECT_TRUE(viewer->silentFor(200));
    EXPECT_EQ(camera->buttonValues().size(), 2u);
}

TEST_F(ViewerServerTest, ARecordInPiecesIsReadWholeAndTheNextStaysInStep)
{
    auto viewer = connectViewer();
    auto first = zeroRecordWith(1, LED_STATUS, 0);
    auto second = zeroRecordWith(1, 117, 0);
    std::vector<unsigned char> stream(first.begin(), first.end());
    stream.insert(stream.end(), second.begin(), second.end());
    std::size_t sent = 0;
    for (const std::size_t piece : {1u, 1000u, 7u, 2000u, 3u}) {
        ASSERT_TRUE(viewer->sendBytes(stream.data() + sent, piece));
        sent += piece;
        QThread::msleep(20);
    }
    ASSERT_TRUE(viewer->sendBytes(stream.data() + sent, stream.size() - sent));
    const auto a = viewer->receive();
    const auto b = viewer->receive();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->command, LED_STATUS);
    EXPECT_EQ(b->command, 117);
}

TEST_F(ViewerServerTest, AViewerThatSendsHalfARecordAndVanishesIsNoticedAndTheNextIsServed)
{
    QSignalSpy started(&server, &WDServer::startTesselApplicationSignalEmit);
    QSignalSpy closing(&server, &WDServer::WatchdogZoomApplicationClose);
    {
        auto viewer = connectViewer();
        const auto record = zeroRecordWith(1, LED_STATUS, 0);
        ASSERT_TRUE(viewer->sendBytes(record.data(), record.size() / 2));
        QThread::msleep(50);
    }
    EXPECT_TRUE(log.waitFor("<ManageWatchDogServer::run()> client disconnecting."));
    EXPECT_TRUE(log.contains("<ManageWatchDogServer::run()> incomplete record dropped, bytes: 1308"));
    EXPECT_EQ(closing.size(), 1);
    for (int i = 0; i < 200 && server.isViewerConnected(); ++i)
        QThread::msleep(5);
    EXPECT_FALSE(server.sentDataToApp(WatchdogMessage{}));

    auto next = connectViewer();
    ASSERT_TRUE(next->sendRequest(LED_STATUS));
    EXPECT_TRUE(next->receive());
    EXPECT_EQ(started.size(), 2);
    stopServing(); // before the spies go: the viewer thread emits into them
}

TEST_F(ViewerServerTest, ANewViewerReplacesTheCurrentOneWithoutANewThread)
{
    QSignalSpy started(&server, &WDServer::startTesselApplicationSignalEmit);
    QSignalSpy closing(&server, &WDServer::WatchdogZoomApplicationClose);
    auto first = connectViewer();
    ASSERT_TRUE(first->sendRequest(LED_STATUS));
    ASSERT_TRUE(first->receive());

    auto second = std::make_unique<TestViewer>(server.listeningPort());
    EXPECT_TRUE(first->closedByPeer()) << "the replaced connection is closed";
    ASSERT_TRUE(second->sendRequest(117));
    const auto answer = second->receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->command, 117);
    EXPECT_EQ(started.size(), 1);
    EXPECT_EQ(closing.size(), 0);
    stopServing(); // before the spies go: the viewer thread emits into them
}

TEST_F(ViewerServerTest, GarbageAndAFloodOfConnectionsLeaveTheServerServing)
{
    std::mt19937 random(1933);
    for (int i = 0; i < 50; ++i) {
        TestViewer viewer(server.listeningPort());
        std::vector<unsigned char> garbage(random() % 6000);
        for (auto &byte : garbage)
            byte = static_cast<unsigned char>(random());
        viewer.sendBytes(garbage.data(), garbage.size());
    }
    std::vector<std::unique_ptr<TestViewer>> crowd;
    for (int i = 0; i < 100; ++i)
        crowd.push_back(std::make_unique<TestViewer>(server.listeningPort()));
    crowd.clear();

    auto viewer = connectViewer();
    QThread::msleep(100);
    viewer = connectViewer();
    ASSERT_TRUE(viewer->sendRequest(LED_STATUS));
    EXPECT_TRUE(viewer->receive());
}

TEST_F(ViewerServerTest, ViewerClosingWhileTheLightIsOnSwitchesItOffAndSaysSo)
{
    auto viewer = connectViewer();
    QSignalSpy closing(&server, &WDServer::WatchdogZoomApplicationClose);
    FakeControlLibrary::ledResult = 1;
    viewer->shutdownSending();
    const auto answer = viewer->receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->request, 0);
    EXPECT_EQ(answer->command, LIGHT);
    EXPECT_TRUE(closing.size() == 1 || closing.wait(2000));
    EXPECT_EQ(camera->buttonValues(), (std::vector<int>{0x04, 0x00}));
}

TEST_F(ViewerServerTest, WhatTheWatchdogSendsOnItsOwn)
{
    QSignalSpy onOff(&server, &WDServer::WatchdogZoomApplicationON_OFF);
    log.clear();
    // No viewer: the send fails and says so; a camera rotate turns the
    // camera instead, a driver rotate is dropped.
    server.receiveInputBuffer(162);
    EXPECT_EQ(log.count("<WDServer::sentDataToApp()> Data Sent Failed."), 1);
    server.forwardDriverCommand(ROTATE);
    EXPECT_TRUE(camera->buttonValues().empty());
    server.receiveInputBuffer(ROTATE);
    EXPECT_EQ(camera->buttonValues(), (std::vector<int>{0x02, 0x00}));
    EXPECT_TRUE(log.contains("Tessel is not open. sending command to camera"));

    auto viewer = connectViewer();
    log.clear();
    server.receiveInputBuffer(0);
    server.receiveInputBuffer(-1);
    server.sendCommandToApp(200, 1);
    server.receiveInputBuffer(VIEWER_ON_OFF);
    EXPECT_EQ(onOff.size(), 1);
    EXPECT_TRUE(viewer->silentFor(200));

    server.receiveInputBuffer(164);
    auto record = viewer->receiveBytes();
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, zeroRecordWith(0, 164, 0));

    server.receiveInputBuffer(ROTATE); // always a request
    record = viewer->receiveBytes();
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, zeroRecordWith(1, ROTATE, 0));

    server.forwardDriverCommand(VIEWER_ON_OFF);
    record = viewer->receiveBytes();
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, zeroRecordWith(1, VIEWER_ON_OFF, 0));

    FakeControlLibrary::ledResult = 1;
    server.receiveInputBuffer(LIGHT);
    record = viewer->receiveBytes();
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, zeroRecordWith(0, LIGHT, 1));

    server.exitDocCamApplication();
    record = viewer->receiveBytes();
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, zeroRecordWith(0, EXIT_DOC_CAM_APPLICATION, 1));
    EXPECT_TRUE(log.matching("Data Sent Failed").isEmpty());
}

TEST_F(ViewerServerTest, StopEndsTheServerAndItsViewerThread)
{
    auto viewer = connectViewer();
    ASSERT_TRUE(viewer->sendRequest(LED_STATUS));
    ASSERT_TRUE(viewer->receive());
    QSignalSpy closing(&server, &WDServer::WatchdogZoomApplicationClose);
    server.stopServer();
    server.waitForServerThread();
    EXPECT_TRUE(viewer->closedByPeer());
    EXPECT_TRUE(server.isFinished());
    EXPECT_FALSE(server.sentDataToApp(WatchdogMessage{}));
    QCoreApplication::processEvents();
    EXPECT_EQ(closing.size(), 0) << "a stop is not a viewer closing";
}


TEST(ViewerServerPortTakenTest, WithoutItsPortTheServerSaysSoOnceAndTakesThePortWhenItComesFree)
{
    fakes::FakePlatform system;
    FakeControlLibrary::install(system.moduleLoader);
    LogCapture log;

    // Another program listens on the viewer's port.
    namespace net = platform::net;
    net::SocketHandle occupant = net::openTcpSocket();
    ASSERT_NE(occupant, net::InvalidSocket);
    ASSERT_TRUE(net::bindTo(occupant, net::LoopbackAddress, 0));
    ASSERT_TRUE(net::listenOn(occupant, 5));
    const std::uint16_t takenPort = net::localPort(occupant).value_or(0);
    ASSERT_NE(takenPort, 0);

    WDServer server{takenPort};
    server.setBindRetryInterval(300);
    server.startServer();
    const QString waiting = QStringLiteral("<WDServer::run()> Cannot listen on 127.0.0.1:%1 (Address already in use);"
                                           " trying again every 10 s")
                                .arg(takenPort);
    ASSERT_TRUE(log.waitFor(waiting, 3000 * SanitizerSlowdown));
    QThread::msleep(1000); // several more attempts
    EXPECT_EQ(log.count(waiting), 1) << "one line, not one an attempt";
    EXPECT_FALSE(server.isListening());
    EXPECT_EQ(server.listeningPort(), 0);

    // The port comes free: the server takes it and serves a viewer.
    net::closeSocket(occupant);
    ASSERT_TRUE(log.waitFor(QStringLiteral("<WDServer::run()> Socket bind successfully."), 3000 * SanitizerSlowdown));
    EXPECT_EQ(server.listeningPort(), takenPort);
    TestViewer viewer(takenPort);
    ASSERT_TRUE(viewer.sendRequest(LED_STATUS));
    EXPECT_TRUE(viewer.receive());

    server.stopServer();
    server.waitForServerThread();
}
