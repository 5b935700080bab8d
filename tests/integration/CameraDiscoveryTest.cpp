// Finding the camera, and following it through plug-in, removal and resume,
// over the fake platform with a real viewer connection.
#include "camera/CameraCommunicationClass.h"
#include "camera/USBCameraHandler.h"
#include "server/WDServer.h"
#include "protocol/WatchdogCommand.h"

#include "FakeControlLibrary.h"
#include "FakePlatform.h"
#include "LogCapture.h"
#include "TestViewer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

namespace {

const std::string CameraHidPath = "/dev/hidraw1 hid#vid_7a3e&pid_4b20";
const std::string CameraVideoPath = "/sys/class/video4linux/video2 usb#vid_7a3e&pid_4b10 Brivara tessel Visualizer";

class CameraDiscoveryTest : public ::testing::Test
{
protected:
    void SetUp() override { FakeControlLibrary::install(system.moduleLoader); }
    void TearDown() override
    {
        server.stopServer();
        server.waitForServerThread();
    }

    void plugCamera()
    {
        system.hidInterfaces.addInterface(CameraHidPath, camera);
        system.video.setDevices(std::vector<std::optional<std::string>>{CameraVideoPath});
    }

    void unplugCamera()
    {
        camera->close();
        system.hidInterfaces.removeInterface(CameraHidPath);
        system.video.setDevices(std::nullopt);
    }

    std::unique_ptr<TestViewer> startServerWithViewer()
    {
        server.startServer();
        while (server.listeningPort() == 0)
            QThread::msleep(2);
        auto viewer = std::make_unique<TestViewer>(server.listeningPort());
        while (!server.isViewerConnected())
            QThread::msleep(2);
        return viewer;
    }

    platform::DeviceNotificationListener &notifications() { return *system.notificationListener; }

    int runningHandlers() const
    {
        int running = 0;
        for (const USBCameraHandler *handler : server.findChildren<USBCameraHandler *>())
            running += handler->isRunning() ? 1 : 0;
        return running;
    }

    fakes::FakePlatform system;
    std::shared_ptr<fakes::FakeHidDevice> camera = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65);
    LogCapture log;
    WDServer server{0};
};

} // namespace

TEST_F(CameraDiscoveryTest, VideoDevicesAreMatchedByIdsOrNameCaseSensitively)
{
    system.video.setDevices(std::vector<std::optional<std::string>>{
        std::string("/dev/video0 usb#vid_7a3e&pid_9999"), // vendor only
        std::nullopt,                                      // unreadable: not counted
        std::string("/dev/video1 usb#VID_7A3E&PID_4B10"),  // wrong case
        std::string("/dev/video2 usb#vid_7a3e&pid_4b10"),
        std::string("/dev/video3 usb#vid_1234&pid_5678 Brivara tessel Visualizer"),
    });
    ASSERT_TRUE(server.featchVideoDeviceInformation());
    const auto devices = server.videoDeviceList();
    ASSERT_EQ(devices.size(), 2);
    EXPECT_EQ(devices[0].deviceIndex, 2);
    EXPECT_EQ(devices[1].deviceIndex, 3);
    EXPECT_EQ(devices[0].name(), "Brivara tessel Visualizer");
    EXPECT_TRUE(log.contains("tessel Device Index:  2"));
    EXPECT_TRUE(log.contains("Video Device Interface filePath => \"/dev/video0 usb#vid_7a3e&pid_9999\""));

    // No video devices at all: false, and the list keeps what it had.
    system.video.setDevices(std::vector<std::optional<std::string>>{});
    EXPECT_FALSE(server.featchVideoDeviceInformation());
    EXPECT_EQ(server.videoDeviceList().size(), 2);
}

TEST_F(CameraDiscoveryTest, OnlyAnInterfaceWithTheRightIdsInPathAndAttributesIsOpened)
{
    auto impostor = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B21, 65);
    system.hidInterfaces.addInterface("/dev/hidraw0 hid#vid_7a3e&pid_4b20&mi_01", impostor);
    system.hidInterfaces.addInterface("/dev/hidraw5 hid#vid_7a3e&pid_4b20&mi_02", nullptr); // cannot be opened
    system.hidInterfaces.addInterface("/dev/hidraw6 hid#vid_046d&pid_c52b", camera);
    EXPECT_FALSE(server.OpenHIDDevice());
    EXPECT_TRUE(impostor->isClosed());
    EXPECT_TRUE(log.contains("open HID device INVALID_HANDLE_VALUE = > 13"));
    EXPECT_FALSE(log.contains("Camera found - tessel"));
    EXPECT_EQ(system.hidInterfaces.openCount(), 1);

    system.hidInterfaces.addInterface(CameraHidPath, camera);
    EXPECT_TRUE(server.OpenHIDDevice());
    EXPECT_TRUE(log.contains("Device Interface filePath => \"/dev/hidraw1 hid#vid_7a3e&pid_4b20\""));
    EXPECT_TRUE(log.contains("Camera found - tessel"));

    system.hidInterfaces.setListAvailable(false);
    EXPECT_FALSE(server.OpenHIDDevice());
    EXPECT_FALSE(server.isCameraPresent());
}

TEST_F(CameraDiscoveryTest, WithoutTheCameraTheStartSucceedsAndTellsNoOne)
{
    EXPECT_TRUE(server.startUsbCommunication());
    EXPECT_FALSE(server.isOurProductPresent());
    EXPECT_FALSE(log.contains("HID device opened"));
    EXPECT_TRUE(log.matching("Data Sent Failed").isEmpty()) << "no CAMERA_READY without a camera";
    EXPECT_EQ(system.notificationLog.creates, 1);
    EXPECT_EQ(system.notificationLog.registrations, 1);
}

TEST_F(CameraDiscoveryTest, AFailedRegistrationFailsTheStart)
{
    system.notificationRegisterSucceeds = false;
    EXPECT_FALSE(server.startUsbCommunication());
    EXPECT_TRUE(log.contains("Error while registering device is:  1066"));
}

TEST_F(CameraDiscoveryTest, WithTheCameraTheLibraryStartsAndCameraReadyIsSent)
{
    plugCamera();
    EXPECT_TRUE(server.startUsbCommunication());
    EXPECT_TRUE(server.isOurProductPresent());
    EXPECT_TRUE(CameraCommunicationClass::instance()->isLoaded());
    EXPECT_TRUE(log.contains("<WDServer::startUsbCommunication()> initZentraLibrary():  true"));
    EXPECT_TRUE(log.contains("HID device opened"));
    EXPECT_TRUE(server.currentCameraHandler()->isRunning());
    // At start-up no viewer can be connected yet: the send fails.
    EXPECT_EQ(log.count("<WDServer::sentDataToApp()> Data Sent Failed."), 1);
}

TEST_F(CameraDiscoveryTest, ALibraryThatWillNotInitialiseFailsTheStartButTheButtonsRun)
{
    plugCamera();
    FakeControlLibrary::initResult = 0;
    EXPECT_FALSE(server.startUsbCommunication());
    EXPECT_TRUE(log.contains("<WDServer::startUsbCommunication()> initZentraLibrary():  false"));
    EXPECT_TRUE(server.currentCameraHandler()->isRunning());
}

TEST_F(CameraDiscoveryTest, PluggingTheCameraInStartsItAndTellsTheViewer)
{
    ASSERT_TRUE(server.startUsbCommunication());
    auto viewer = startServerWithViewer();

    // Another device arrives: only the scan.
    notifications().deviceArrived(true);
    EXPECT_FALSE(server.isOurProductPresent());
    EXPECT_TRUE(viewer->silentFor(100));

    plugCamera();
    notifications().deviceArrived(false); // not a device interface
    EXPECT_FALSE(server.isOurProductPresent());
    notifications().deviceArrived(true);
    EXPECT_TRUE(log.contains("camera connected"));
    EXPECT_TRUE(server.isOurProductPresent());
    const auto ready = viewer->receive();
    ASSERT_TRUE(ready);
    EXPECT_EQ(ready->command, CAMERA_READY);
    EXPECT_EQ(ready->request, 0);
    EXPECT_EQ(ready->state, 1);
    EXPECT_TRUE(server.currentCameraHandler()->isRunning());
    EXPECT_EQ(runningHandlers(), 1);

    // A second arrival while the camera is present does nothing.
    notifications().deviceArrived(true);
    EXPECT_EQ(log.count("camera connected"), 1);
    EXPECT_TRUE(viewer->silentFor(100));
}

TEST_F(CameraDiscoveryTest, RemovingTheCameraReleasesItTellsTheViewerAndEndsTheProgram)
{
    plugCamera();
    ASSERT_TRUE(server.startUsbCommunication());
    auto viewer = startServerWithViewer();

    // Another device goes: the camera stays.
    notifications().deviceRemoved();
    EXPECT_TRUE(server.isOurProductPresent());

    unplugCamera();
    bool quitInTime = true;
    QTimer::singleShot(0, [this] { notifications().deviceRemoved(); });
    QTimer::singleShot(5000, [&quitInTime] {
        quitInTime = false;
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    EXPECT_TRUE(quitInTime) << "the removal ends the event loop";
    EXPECT_TRUE(log.contains("device removal"));
    EXPECT_FALSE(server.isOurProductPresent());
    EXPECT_FALSE(CameraCommunicationClass::instance()->isLoaded());
    EXPECT_TRUE(server.currentCameraHandler()->wait(2000));
    const auto exit = viewer->receive();
    ASSERT_TRUE(exit);
    EXPECT_EQ(exit->command, EXIT_DOC_CAM_APPLICATION);
    EXPECT_EQ(exit->request, 0);
    EXPECT_EQ(exit->state, 1);
}

TEST_F(CameraDiscoveryTest, ResumeReopensTheCameraWithOneReaderAndOneNotificationSource)
{
    plugCamera();
    ASSERT_TRUE(server.startUsbCommunication());
    auto viewer = startServerWithViewer();
    for (int cycle = 0; cycle < 10; ++cycle) {
        notifications().powerEvent(static_cast<int>(platform::PowerEvent::ResumeSuspend));
        const auto ready = viewer->receive();
        ASSERT_TRUE(ready) << cycle;
        EXPECT_EQ(ready->command, CAMERA_READY);
        EXPECT_EQ(ready->request, 0);
    }
    EXPECT_EQ(log.count("Windows Event: PBT_APMRESUMESUSPEND"), 10);
    EXPECT_EQ(log.count("serverInstance->bOurProduct:  true"), 10);
    QThread::msleep(300);
    EXPECT_EQ(runningHandlers(), 1);
    EXPECT_EQ(system.notificationLog.creates, 1);
    EXPECT_EQ(system.notificationLog.registrations, 1);

    // The buttons work through the new reader.
    QThread::msleep(500);
    std::vector<std::uint8_t> press(65, 0);
    press[10] = 0x02;
    camera->pushInputReport(press);
    const auto button = viewer->receive();
    ASSERT_TRUE(button);
    EXPECT_EQ(button->command, 162);
}

TEST_F(CameraDiscoveryTest, ResumeWithoutACameraOnlyLogs)
{
    ASSERT_TRUE(server.startUsbCommunication());
    auto viewer = startServerWithViewer();
    notifications().powerEvent(static_cast<int>(platform::PowerEvent::ResumeSuspend));
    EXPECT_TRUE(log.contains("serverInstance->bOurProduct:  false"));
    EXPECT_TRUE(viewer->silentFor(200));
    for (const auto event : {platform::PowerEvent::ResumeCritical, platform::PowerEvent::ResumeStandby,
                             platform::PowerEvent::ResumeAutomatic})
        notifications().powerEvent(static_cast<int>(event));
    notifications().powerEvent(4); // a suspend: nothing
    EXPECT_TRUE(log.contains("Windows Event: PBT_APMRESUMECRITICAL"));
    EXPECT_TRUE(log.contains("Windows Event: PBT_APMRESUMESTANDBY"));
    EXPECT_TRUE(log.contains("Windows Event: PBT_APMRESUMEAUTOMATIC"));
    EXPECT_EQ(runningHandlers(), 0);
}
