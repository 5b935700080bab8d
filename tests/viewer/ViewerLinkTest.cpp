// The viewer's protocol side and its decisions, against a watchdog played
// by the test on a loopback port.
#include "CameraSource.h"
#include "FakePlatform.h"
#include "LogCapture.h"
#include "ViewerController.h"
#include "WatchdogLink.h"
#include "protocol/WatchdogCommand.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

// The watchdog's end: accepts the viewer and reads its records.
class FakeWatchdog
{
public:
    FakeWatchdog() { EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0)); }
    std::uint16_t port() const { return server.serverPort(); }

    bool waitForViewer()
    {
        if (!peer && (server.hasPendingConnections() || server.waitForNewConnection(5000)))
            peer.reset(server.nextPendingConnection());
        return peer != nullptr;
    }
    void send(const QByteArray &bytes)
    {
        peer->write(bytes);
        peer->flush();
    }
    void send(std::int32_t request, std::int32_t command, std::uint8_t state = 0)
    {
        send(encoded(request, command, state));
    }
    static QByteArray encoded(std::int32_t request, std::int32_t command, std::uint8_t state = 0,
                              std::vector<VideoDeviceEntry> devices = {})
    {
        WatchdogMessage message;
        message.request = request;
        message.command = command;
        message.state = state;
        for (std::size_t i = 0; i < devices.size(); ++i)
            message.devices[i] = devices[i];
        message.deviceCount = static_cast<std::int32_t>(devices.size());
        const auto bytes = message.encode();
        return QByteArray(reinterpret_cast<const char *>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    }
    // The next record from the viewer, or nothing in time.
    std::optional<WatchdogMessage> receive(int timeoutMs = 3000)
    {
        QElapsedTimer timer;
        timer.start();
        while (buffer.size() < static_cast<qsizetype>(WatchdogMessage::Size) && timer.elapsed() < timeoutMs) {
            if (peer->bytesAvailable() == 0)
                peer->waitForReadyRead(50);
            buffer.append(peer->readAll());
            QCoreApplication::processEvents();
        }
        if (buffer.size() < static_cast<qsizetype>(WatchdogMessage::Size))
            return std::nullopt;
        WatchdogMessage::Bytes bytes;
        std::copy_n(reinterpret_cast<const std::uint8_t *>(buffer.constData()), bytes.size(), bytes.begin());
        buffer.remove(0, static_cast<qsizetype>(bytes.size()));
        return WatchdogMessage::decode(bytes);
    }
    void drop() { peer.reset(); }

    QTcpServer server;
    std::unique_ptr<QTcpSocket> peer;
    QByteArray buffer;
};

class FakeCamera final : public CameraSource
{
public:
    bool open(const CameraLocator::VideoNode &node) override
    {
        ++openAttempts;
        if (!listed)
            return false;
        openNode = node.node;
        return true;
    }
    void close() override { openNode.clear(); }
    bool isOpen() const override { return !openNode.isEmpty(); }
    QString node() const override { return openNode; }
    void reopen() override { ++reopens; }

    bool listed = true;
    int reopens = 0;
    int openAttempts = 0;
    QString openNode;
};

class ViewerLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Three video input devices the watchdog's way: the camera is the
        // second, /dev/video2 (video1 is its metadata node, not counted).
        videoDevices.setDevices(std::vector<std::optional<std::string>>{
            std::string("/dev/video0 usb#vid_0bda&pid_58f4 USB2.0 HD UVC WebCam"),
            std::string("/dev/video2 usb#vid_7a3e&pid_4b10 Brivara tessel Visualizer"), std::nullopt});
        link = std::make_unique<WatchdogLink>(watchdog.port());
        controller = std::make_unique<ViewerController>(*link, camera, CameraLocator(videoDevices));
    }

    // Connects and takes the three requests every connection starts with.
    void connectViewer()
    {
        link->start();
        ASSERT_TRUE(watchdog.waitForViewer());
        for (const std::int32_t expected : {FOCUS_BY_WATCHDOG_ON, VIDEO_DEVICE_LIST, LED_STATUS}) {
            const auto record = watchdog.receive();
            ASSERT_TRUE(record);
            EXPECT_EQ(record->request, 1);
            EXPECT_EQ(record->command, expected);
        }
    }

    void answerDeviceList(int index)
    {
        watchdog.send(FakeWatchdog::encoded(0, VIDEO_DEVICE_LIST, 1,
                                            {VideoDeviceEntry::make(index, "Brivara tessel Visualizer")}));
    }

    LogCapture log;
    FakeWatchdog watchdog;
    fakes::FakeVideoDevices videoDevices;
    FakeCamera camera;
    std::unique_ptr<WatchdogLink> link;
    std::unique_ptr<ViewerController> controller;
};

TEST_F(ViewerLinkTest, ConnectsOnceTheWatchdogIsUpAndOpensTheCameraItNames)
{
    const std::uint16_t port = watchdog.port();
    watchdog.server.close(); // the watchdog is not up yet
    link->start();
    QTest::qWait(300);
    EXPECT_EQ(controller->picture(), ViewerController::Picture::WaitingForWatchdog);
    ASSERT_TRUE(watchdog.server.listen(QHostAddress::LocalHost, port));
    connectViewer();

    answerDeviceList(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.isOpen(); }, 3000));
    EXPECT_EQ(camera.openNode, QStringLiteral("/dev/video2"));
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Live);
}

// Started from the menu where no watchdog runs: the camera is found by its
// USB ids, never another camera, and a watchdog that comes later takes over
// without the picture being dropped.
TEST_F(ViewerLinkTest, WithoutAWatchdogTheCameraIsFoundByItsUsbIdsAndAWatchdogTakesOverLater)
{
    const std::uint16_t port = watchdog.port();
    watchdog.server.close();
    videoDevices.setDevices(std::vector<std::optional<std::string>>{
        std::string("/dev/video0 usb#vid_0bda&pid_58f4 USB2.0 HD UVC WebCam")});
    link->start();
    controller->findCameraWithoutWatchdog();
    QTest::qWait(ViewerController::WatchdogGraceMs / 2);
    EXPECT_EQ(controller->picture(), ViewerController::Picture::WaitingForWatchdog);
    EXPECT_EQ(camera.openAttempts, 0); // the watchdog may still come

    // Only a webcam: it is not taken for the camera.
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->picture() == ViewerController::Picture::NoCamera; }, 3000));
    EXPECT_FALSE(camera.isOpen());

    // The camera plugged in: found by its ids, not by a position.
    videoDevices.setDevices(std::vector<std::optional<std::string>>{
        std::string("/dev/video0 usb#vid_0bda&pid_58f4 USB2.0 HD UVC WebCam"),
        std::string("/dev/video2 usb#vid_7A3E&pid_4B10 Brivara tessel Visualizer")});
    emit camera.camerasChanged();
    ASSERT_TRUE(camera.isOpen());
    EXPECT_EQ(camera.openNode, QStringLiteral("/dev/video2"));
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Live);
    EXPECT_FALSE(link->isConnected());

    // The watchdog comes up and names the same camera: it stays open.
    ASSERT_TRUE(watchdog.server.listen(QHostAddress::LocalHost, port));
    // The link tries again by itself (its timer needs the event loop).
    ASSERT_TRUE(QTest::qWaitFor([&] { return watchdog.server.hasPendingConnections(); }, 10000));
    connectViewer();
    answerDeviceList(1);
    QTest::qWait(300);
    EXPECT_EQ(camera.openAttempts, 1);
    EXPECT_EQ(camera.openNode, QStringLiteral("/dev/video2"));
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Live);

    // The watchdog's word counts now: the camera going is its news.
    watchdog.send(0, EXIT_DOC_CAM_APPLICATION, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !camera.isOpen(); }, 3000));
    emit camera.camerasChanged(); // no reopen behind the watchdog's back
    EXPECT_FALSE(camera.isOpen());
}

TEST_F(ViewerLinkTest, RecordsCutAnywhereAreCollectedAndRequestsAnswered)
{
    connectViewer();
    QSignalSpy rotations(controller.get(), &ViewerController::rotate);
    QSignalSpy functions(controller.get(), &ViewerController::function);
    answerDeviceList(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.isOpen(); }, 3000));

    // A rotate and a freeze, in pieces of 1, 2615+1 and the rest.
    const QByteArray both = FakeWatchdog::encoded(1, ROTATE) + FakeWatchdog::encoded(0, 140);
    watchdog.send(both.left(1));
    QTest::qWait(50);
    watchdog.send(both.mid(1, 2616));
    QTest::qWait(50);
    watchdog.send(both.mid(2617));
    ASSERT_TRUE(QTest::qWaitFor([&] { return functions.size() == 1; }, 3000));
    EXPECT_EQ(rotations.size(), 1);
    EXPECT_EQ(functions.front().front().value<ViewerFunction>(), ViewerFunction::Freeze);
    // The rotate was a request: answered with request 0, its command, state 0.
    const auto answer = watchdog.receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->request, 0);
    EXPECT_EQ(answer->command, ROTATE);
    EXPECT_EQ(answer->state, 0);
}

TEST_F(ViewerLinkTest, CameraButtonsMapToViewerFunctionsAndBadRecordsChangeNothing)
{
    connectViewer();
    QSignalSpy rotations(controller.get(), &ViewerController::rotate);
    QSignalSpy functions(controller.get(), &ViewerController::function);
    QSignalSpy pictures(controller.get(), &ViewerController::pictureChanged);

    // No camera open yet: buttons are logged and do nothing.
    watchdog.send(0, ROTATE);
    watchdog.send(0, 141);
    ASSERT_TRUE(log.waitFor(QStringLiteral("<ViewerController> no camera open: command 141 changes nothing")));
    EXPECT_EQ(rotations.size(), 0);
    EXPECT_EQ(functions.size(), 0);

    answerDeviceList(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.isOpen(); }, 3000));
    for (const int code : {140, 141, 162, 163, 164})
        watchdog.send(0, code);
    watchdog.send(0, 9999); // unknown
    ASSERT_TRUE(log.waitFor(QStringLiteral("<ViewerController> ignored record request=0 command=9999")));
    ASSERT_EQ(functions.size(), 5);
    const ViewerFunction expected[] = {ViewerFunction::Freeze, ViewerFunction::Capture, ViewerFunction::ZoomIn,
                                       ViewerFunction::ZoomOut, ViewerFunction::FullScreen};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(functions[i].front().value<ViewerFunction>(), expected[i]) << i;
    EXPECT_EQ(camera.openNode, QStringLiteral("/dev/video2"));

    // A record cut short by the watchdog going away is dropped whole.
    pictures.clear();
    watchdog.send(FakeWatchdog::encoded(0, EXIT_DOC_CAM_APPLICATION, 1).left(1000));
    QTest::qWait(100);
    watchdog.drop();
    ASSERT_TRUE(log.waitFor(QStringLiteral("<WatchdogLink> dropped an unfinished record of 1000 bytes")));
    EXPECT_TRUE(camera.isOpen());
    EXPECT_EQ(pictures.size(), 0);
}

TEST_F(ViewerLinkTest, CameraGoingAndComingBackAcrossAWatchdogRestart)
{
    connectViewer();
    answerDeviceList(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.isOpen(); }, 3000));

    watchdog.send(0, EXIT_DOC_CAM_APPLICATION, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !camera.isOpen(); }, 3000));
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Disconnected);

    // The watchdog ends with the camera and a fresh copy comes up: the
    // picture keeps saying why it is gone, and the link reconnects.
    watchdog.drop();
    QTest::qWait(200);
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Disconnected);
    connectViewer();
    watchdog.send(0, VIDEO_DEVICE_LIST, 0); // no camera yet
    QTest::qWait(200);
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Disconnected);

    // Plugged in again: CAMERA_READY, the viewer asks again, and the camera
    // needs a moment to be listed.
    camera.listed = false;
    watchdog.send(0, CAMERA_READY, 1);
    const auto ask = watchdog.receive();
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->command, VIDEO_DEVICE_LIST);
    answerDeviceList(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.openAttempts >= 2; }, 3000));
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Opening);
    camera.listed = true;
    emit camera.camerasChanged();
    EXPECT_TRUE(camera.isOpen());
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Live);
}

TEST_F(ViewerLinkTest, LightFocusAndTurningOff)
{
    connectViewer();
    QSignalSpy lights(controller.get(), &ViewerController::lightChanged);
    QSignalSpy focusing(controller.get(), &ViewerController::focusing);
    QSignalSpy turnOff(controller.get(), &ViewerController::turnOffRequested);

    controller->toggleLight();
    const auto light = watchdog.receive();
    ASSERT_TRUE(light);
    EXPECT_EQ(light->request, 1);
    EXPECT_EQ(light->command, LIGHT);
    watchdog.send(0, LIGHT, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return lights.size() == 1; }, 3000));
    EXPECT_TRUE(controller->lightOn());

    // Our own focus shows once; its answer does not show it again; the
    // camera's focus button does.
    controller->focus();
    const auto focus = watchdog.receive();
    ASSERT_TRUE(focus);
    EXPECT_EQ(focus->command, AUTO_FOCUS);
    EXPECT_EQ(focusing.size(), 1);
    watchdog.send(0, AUTO_FOCUS, 1);
    watchdog.send(0, AUTO_FOCUS, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return focusing.size() == 2; }, 3000));

    watchdog.send(1, VIEWER_ON_OFF);
    ASSERT_TRUE(QTest::qWaitFor([&] { return turnOff.size() == 1; }, 3000));
    const auto answer = watchdog.receive();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->request, 0);
    EXPECT_EQ(answer->command, VIEWER_ON_OFF);
    // Both focus records were read before this answer went out: the answer
    // to our own focus did not show it a third time.
    EXPECT_EQ(focusing.size(), 2);
}

TEST_F(ViewerLinkTest, ClosingTellsTheWatchdogFirst)
{
    connectViewer();
    QSignalSpy closed(link.get(), &WatchdogLink::closed);
    link->closeAnnounced(3000);
    const auto announcement = watchdog.receive();
    ASSERT_TRUE(announcement);
    EXPECT_EQ(announcement->request, 1);
    EXPECT_EQ(announcement->command, VIEWER_ON_OFF);
    QTest::qWait(100);
    EXPECT_EQ(closed.size(), 0); // waits for the answer
    watchdog.send(0, VIEWER_ON_OFF);
    ASSERT_TRUE(QTest::qWaitFor([&] { return closed.size() == 1; }, 3000));
    // The viewer hangs up: the watchdog's end sees the connection close.
    ASSERT_TRUE(QTest::qWaitFor([&] { return watchdog.peer->state() == QAbstractSocket::UnconnectedState; }, 3000));
    // Closed for good: no reconnection.
    QTest::qWait(WatchdogLink::RetryIntervalMs + 300);
    EXPECT_FALSE(watchdog.server.hasPendingConnections());
}

TEST_F(ViewerLinkTest, CameraTroubleShowsAndAResumeRestartsTheStream)
{
    connectViewer();
    answerDeviceList(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.isOpen(); }, 3000));
    ASSERT_EQ(controller->picture(), ViewerController::Picture::Live);

    // Trouble shows as it is, and frames end it.
    emit camera.trouble(CameraSource::Trouble::Busy, QStringLiteral("Device '/dev/video2' is busy"));
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Busy);
    emit camera.streaming();
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Live);
    emit camera.trouble(CameraSource::Trouble::Stopped, QStringLiteral("no frame for 3 s"));
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Stopped);
    emit camera.streaming();

    // After a resume the watchdog says CAMERA_READY for the camera that is
    // open: its stream may be dead without a word, so it starts afresh.
    watchdog.send(0, CAMERA_READY, 1);
    const auto ask = watchdog.receive();
    ASSERT_TRUE(ask);
    EXPECT_EQ(ask->command, VIDEO_DEVICE_LIST);
    answerDeviceList(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return camera.reopens == 1; }, 3000));
    EXPECT_EQ(camera.openNode, QStringLiteral("/dev/video2"));
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Live);
    // A device list on its own restarts nothing; one whose index now names
    // another device (the list moved) neither swaps the streaming camera nor
    // opens the wrong one.
    answerDeviceList(1);
    answerDeviceList(0);
    QTest::qWait(200);
    EXPECT_EQ(camera.reopens, 1);
    EXPECT_EQ(camera.openNode, QStringLiteral("/dev/video2"));
    camera.close();
    answerDeviceList(0); // /dev/video0 is the webcam, not the camera named
    QTest::qWait(200);
    EXPECT_FALSE(camera.isOpen());
    EXPECT_EQ(controller->picture(), ViewerController::Picture::Failed);
}

TEST_F(ViewerLinkTest, TheDriversLightAndFocusButtonsAreCarriedOut)
{
    connectViewer();
    QSignalSpy lights(controller.get(), &ViewerController::lightChanged);
    QSignalSpy focusing(controller.get(), &ViewerController::focusing);
    // The OEM buttons come as requests: answered as every request is, then
    // the viewer asks the watchdog to do them, and only the watchdog's answer
    // changes the light's state.
    watchdog.send(1, LIGHT, 0);
    const auto lightAnswer = watchdog.receive();
    ASSERT_TRUE(lightAnswer);
    EXPECT_EQ(lightAnswer->request, 0);
    const auto light = watchdog.receive();
    ASSERT_TRUE(light);
    EXPECT_EQ(light->request, 1);
    EXPECT_EQ(light->command, LIGHT);
    EXPECT_EQ(lights.size(), 0);
    watchdog.send(1, AUTO_FOCUS, 0);
    const auto focusAnswer = watchdog.receive();
    ASSERT_TRUE(focusAnswer);
    EXPECT_EQ(focusAnswer->request, 0);
    const auto focus = watchdog.receive();
    ASSERT_TRUE(focus);
    EXPECT_EQ(focus->request, 1);
    EXPECT_EQ(focus->command, AUTO_FOCUS);
    EXPECT_EQ(focusing.size(), 1);
}

} // namespace
