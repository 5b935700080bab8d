// The real watchdog under the camera stand-in, with the viewer stand-in: the
// buttons, the light, discovery, unplug and plug-in, resume, bad reports.
#include "SystemFixture.h"

#include "AnotherUser.h"
#include "protocol/WatchdogCommand.h"
#include "protocol/WatchdogMessage.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace systemtest;

namespace {

// The repeat filter drops a report within 500 ms of the previous one.
constexpr auto PressGap = 650ms;

class CameraScenario : public SystemFixture
{
protected:
    // The watchdog with the camera and a connected viewer that stays on.
    void startWithViewer(const std::vector<std::string> &cameraOptions = {})
    {
        startWatchdogWithCamera(cameraOptions);
        startViewer();
        ASSERT_TRUE(watchdogLog.waitFor("startZoomApplicationSysMenu"));
        // The first report within 500 ms of the reader's start is dropped.
        std::this_thread::sleep_for(PressGap);
    }

    void press(const std::string &button)
    {
        ASSERT_TRUE(cameraDoes("press " + button));
        std::this_thread::sleep_for(PressGap);
    }
};

// kill() only asks: a thread that is busy, or waiting for a core on a loaded
// machine, runs on for a moment. Stopped means every thread says so.
bool everyThreadStopped(pid_t pid)
{
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code error;
    for (const auto &task : std::filesystem::directory_iterator(tasks, error)) {
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // The state follows the name, which is in parentheses and may hold spaces.
        const auto afterName = line.rfind(')');
        if (afterName == std::string::npos || afterName + 2 >= line.size() || line[afterName + 2] != 'T')
            return false;
    }
    return !error;
}

} // namespace

TEST_F(CameraScenario, OverTcpAnotherUsersProgramIsTurnedAwayAndTheViewerKeepsItsPlace)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    ::setenv("TESSEL_LOOPBACK_TCP", "1", 1);
    startWithViewer();
    EXPECT_EQ(test_support::connectAsAnotherUser(1933, 2000), test_support::StrangerOutcome::ClosedUnserved);
    EXPECT_TRUE(watchdogLog.find("runs as uid 65534, not 0"));
    EXPECT_EQ(watchdogLog.count("<WDServer::run()> Connection refused: the peer at 127.0.0.1:"), 1);

    // The viewer of this user was not replaced: it still gets the buttons.
    const auto from = viewerLog.size();
    press("rotate");
    EXPECT_TRUE(viewerLog.waitFor("received request=1 command=139 ROTATE", 3s, from));
    EXPECT_FALSE(viewerLog.find("disconnected"));
}

TEST_F(CameraScenario, OverTcpAStrangerWhoHasAlreadyClosedIsRefusedAndTheViewerKeepsBeingAnswered)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    ::setenv("TESSEL_LOOPBACK_TCP", "1", 1);
    startWithViewer();

    // While the watchdog is stopped, the kernel takes the stranger's
    // connection and its record; by the time the watchdog looks, the
    // stranger's end has closed, and the kernel lists it without an owner.
    const pid_t pid = watchdogPid();
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    ASSERT_TRUE(eventually([pid] { return everyThreadStopped(pid); }, 5s));
    WatchdogMessage turnOff;
    turnOff.request = 1;
    turnOff.command = VIEWER_ON_OFF;
    const WatchdogMessage::Bytes record = turnOff.encode();
    test_support::StrangerVisit visit;
    visit.data = record.data();
    visit.size = record.size();
    visit.closeAfterSending = true;
    const auto outcome = test_support::visitAsAnotherUser(protocol::ChannelAddress::loopbackTcp(1933), visit);
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    ASSERT_EQ(outcome, test_support::StrangerOutcome::SentAndClosed);

    ASSERT_TRUE(watchdogLog.waitFor("<WDServer::run()> Connection refused: the peer at 127.0.0.1:"));
    EXPECT_TRUE(watchdogLog.find("has already closed its socket"));
    // The stranger's record was never read, and the viewer still has its place.
    const auto from = viewerLog.size();
    ASSERT_TRUE(viewerDoes("request 563"));
    EXPECT_TRUE(viewerLog.waitFor("received request=0 command=563 LED_STATUS", 3s, from));
    EXPECT_FALSE(viewerLog.find("disconnected"));
    EXPECT_FALSE(watchdogLog.find("closeZoomApplication"));
}

TEST_F(CameraScenario, EachButtonReachesTheViewerWithItsCode)
{
    startWithViewer();
    const std::pair<const char *, const char *> buttons[] = {
        {"rotate", "received request=1 command=139 ROTATE"},
        {"162", "received request=0 command=162 - state=0"},
        {"164", "received request=0 command=164 - state=0"},
        {"140", "received request=0 command=140 - state=0"},
        {"163", "received request=0 command=163 - state=0"},
        {"141", "received request=0 command=141 - state=0"},
    };
    for (const auto &[button, record] : buttons) {
        const auto from = viewerLog.size();
        press(button);
        EXPECT_TRUE(viewerLog.waitFor(record, 3s, from)) << button;
    }
}

TEST_F(CameraScenario, TheLightButtonSwitchesTheLightAndTheViewerLearnsItsState)
{
    startWithViewer();
    press("light");
    const auto on = watchdogLog.waitFor("write len=65 button=0x04");
    ASSERT_TRUE(on);
    EXPECT_TRUE(watchdogLog.find("write len=65 button=0x00", *on));
    EXPECT_TRUE(watchdogLog.waitFor("light on"));
    // Read from the control library 500 ms after the press.
    EXPECT_TRUE(viewerLog.waitFor("received request=0 command=116 LIGHT state=1"));
    const auto from = viewerLog.size();
    press("light");
    EXPECT_TRUE(watchdogLog.waitFor("light off"));
    EXPECT_TRUE(viewerLog.waitFor("received request=0 command=116 LIGHT state=0", 3s, from));
}

TEST_F(CameraScenario, AHeldButtonIsActedOnOnce)
{
    startWithViewer();
    // A button that the device keeps reporting, every 100 ms.
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(cameraDoes("press 162 hold"));
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_TRUE(cameraDoes("release"));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(viewerLog.count("command=162"), 1);
}

TEST_F(CameraScenario, FocusFollowsTheViewersWish)
{
    startWithViewer();
    // The viewer runs and focuses itself: nothing goes to the library.
    press("focus");
    EXPECT_FALSE(callLog.find("AFFreezeControl"));
    EXPECT_FALSE(viewerLog.find("command=94"));

    ASSERT_TRUE(viewerDoes("request 565"));
    ASSERT_TRUE(viewerLog.waitFor("received request=0 command=565"));
    press("focus");
    EXPECT_TRUE(callLog.waitFor("AFFreezeControl 5"));
    EXPECT_TRUE(viewerLog.waitFor("received request=0 command=94 AUTO_FOCUS"));
    EXPECT_TRUE(watchdogLog.find("Af focus set successfully 0"));
}

TEST_F(CameraScenario, TheOnOffButtonAsksARunningViewerToTurnOff)
{
    startWithViewer();
    press("onoff");
    ASSERT_TRUE(viewerLog.waitFor("received request=1 command=93 VIEWER_ON_OFF"));
    EXPECT_EQ(viewer->waitForExit(), 0);
}

TEST_F(CameraScenario, ARotateThatNoViewerTakesTurnsTheCamera)
{
    startWatchdogWithCamera();
    std::this_thread::sleep_for(PressGap);
    press("rotate");
    EXPECT_TRUE(watchdogLog.waitFor("Tessel is not open. sending command to camera"));
    const auto turned = watchdogLog.find("write len=65 button=0x02");
    ASSERT_TRUE(turned);
    EXPECT_TRUE(watchdogLog.find("write len=65 button=0x00", *turned));
}

TEST_F(CameraScenario, TheVideoDeviceListCarriesTheSystemIndex)
{
    // A webcam is there first: the camera's video device is the system's second.
    startWithViewer({"--unplugged", "--with-usb"});
    ASSERT_TRUE(viewerDoes("request 564"));
    EXPECT_TRUE(viewerLog.waitFor("received request=0 command=564 VIDEO_DEVICE_LIST state=0 deviceCount=0"));
    ASSERT_TRUE(cameraDoes("plug camera"));
    ASSERT_TRUE(viewerLog.waitFor("received request=0 command=561 CAMERA_READY state=1"));
    ASSERT_TRUE(viewerDoes("request 564"));
    EXPECT_TRUE(viewerLog.waitFor("received request=0 command=564 VIDEO_DEVICE_LIST state=1 deviceCount=1"));
    EXPECT_TRUE(viewerLog.waitFor("device slot=0 index=1 name=\"Brivara tessel Visualizer\""));
}

TEST_F(CameraScenario, UnpluggingEndsTheProgramAndTheFreshCopyWaitsForTheCamera)
{
    startWithViewer();
    const pid_t first = watchdogPid();
    ASSERT_TRUE(cameraDoes("unplug camera"));
    EXPECT_TRUE(viewerLog.waitFor("received request=0 command=562 EXIT_DOC_CAM_APPLICATION state=1"));
    EXPECT_TRUE(watchdogLog.waitFor("device removal"));
    EXPECT_TRUE(callLog.waitFor("DeInitLibrary"));
    // The old copy ends and a fresh one takes its place and listens.
    ASSERT_TRUE(eventually([first] {
        const auto copies = processesNamed("tesselwatchdogapplication");
        return copies.size() == 1 && copies.front() != first;
    }));
    const auto restarted = watchdogLog.waitFor("<WDServer::run()> Socket bind successfully.", 10s,
                                               *watchdogLog.find("device removal"));
    ASSERT_TRUE(restarted);
    EXPECT_NE(watchdogPid(), first);

    // The viewer comes back, then the camera: it hears that the camera is ready.
    ASSERT_TRUE(viewerDoes("connect"));
    ASSERT_TRUE(watchdogLog.waitFor("startZoomApplicationSysMenu", 5s, *restarted));
    ASSERT_TRUE(cameraDoes("plug camera"));
    EXPECT_TRUE(watchdogLog.waitFor("camera connected", 5s, *restarted));
    EXPECT_TRUE(viewerLog.waitFor("received request=0 command=561 CAMERA_READY state=1"));
    EXPECT_EQ(callLog.countLines("InitLibrary"), 2);
}

TEST_F(CameraScenario, UnrelatedDevicesComeAndGoWithoutTouchingTheCameraOrLeaking)
{
    startWithViewer();
    const pid_t pid = watchdogPid();
    const int descriptorsBefore = openDescriptors(pid);
    const int threadsBefore = threadCount(pid);
    for (int cycle = 0; cycle < 100; ++cycle) {
        ASSERT_TRUE(cameraDoes("plug hid"));
        ASSERT_TRUE(cameraDoes("unplug hid"));
    }
    // The stand-in works through the commands at its own pace.
    ASSERT_TRUE(eventually([this] { return watchdogLog.count("unplug hid") >= 100; }, 60s));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(watchdogPid(), pid);
    EXPECT_FALSE(watchdogLog.find("device removal"));
    EXPECT_EQ(openDescriptors(pid), descriptorsBefore);
    EXPECT_EQ(threadCount(pid), threadsBefore);
    const auto from = viewerLog.size();
    press("164");
    EXPECT_TRUE(viewerLog.waitFor("command=164", 3s, from));
}

TEST_F(CameraScenario, ResumeReopensTheCameraAndCyclesLeaveOneReader)
{
    startMockLogind();
    startWithViewer();
    const pid_t pid = watchdogPid();
    ASSERT_TRUE(watchdogLog.waitFor("open node=/dev/hidraw0"));
    const int threadsBefore = threadCount(pid);
    const int descriptorsBefore = openDescriptors(pid);
    for (int cycle = 1; cycle <= 10; ++cycle) {
        ASSERT_TRUE(emitPrepareForSleep(true));
        ASSERT_TRUE(emitPrepareForSleep(false));
        ASSERT_TRUE(eventually([&] { return viewerLog.count("command=561 CAMERA_READY") >= cycle; })) << cycle;
    }
    EXPECT_EQ(watchdogLog.count("Windows Event: PBT_APMRESUMESUSPEND"), 10);
    // The new reader drops what comes within 500 ms of its start.
    std::this_thread::sleep_for(PressGap);
    EXPECT_EQ(threadCount(pid), threadsBefore) << "one reader thread, as before";
    EXPECT_EQ(openDescriptors(pid), descriptorsBefore);
    const auto from = viewerLog.size();
    press("140");
    EXPECT_TRUE(viewerLog.waitFor("command=140", 3s, from)) << "the buttons work through the new reader";
}

TEST_F(CameraScenario, ShortEmptyAndMixedReportsAndReadErrorsAreSurvived)
{
    startWithViewer();
    ASSERT_TRUE(cameraDoes("report 00 11 22"));
    std::this_thread::sleep_for(PressGap);
    ASSERT_TRUE(cameraDoes("release"));
    std::this_thread::sleep_for(PressGap);
    ASSERT_TRUE(cameraDoes("fail-read 3"));
    std::this_thread::sleep_for(PressGap);
    // Rotate and light at once: rotate comes first and alone counts.
    press("rotate+light");
    EXPECT_TRUE(viewerLog.waitFor("command=139 ROTATE"));
    EXPECT_FALSE(viewerLog.find("command=116"));
    EXPECT_FALSE(watchdogLog.find("write len=65 button=0x04"));
    EXPECT_GT(watchdogPid(), 0) << "the watchdog survived all of it";
}

TEST_F(CameraScenario, UnderAServiceManagerAnUnplugEndsWithTheRestartStatus)
{
    ::setenv("TESSEL_WATCHDOG_SUPERVISED", "1", 1);
    startWatchdogWithCamera({"--exit-with-child"});
    ASSERT_TRUE(cameraDoes("unplug camera"));
    const auto status = camera->waitForExit(10s);
    ASSERT_TRUE(status);
    EXPECT_EQ(*status, 75);
    EXPECT_TRUE(watchdogLog.find("the service manager starts the fresh copy."));
    EXPECT_TRUE(processesNamed("tesselwatchdogapplication").empty());
}

TEST_F(CameraScenario, AStartThatFailsIsRetriedNoSoonerThanTenSeconds)
{
    setLibraryState("InitLibrary", "0");
    const auto started = std::chrono::steady_clock::now();
    camera = std::make_unique<Program>();
    ASSERT_TRUE(camera->start(programDirectory() / "tesselcamera",
                              {"--control", file("camera.ctl").string(), "--state", file("zentrasw.state").string(),
                               "--", (programDirectory() / "tesselwatchdogapplication").string()},
                              file("watchdog.log")));
    ASSERT_TRUE(watchdogLog.waitFor("<WatchDogControlle::startCommunications> failed"));
    const auto second = watchdogLog.waitFor("<WatchDogController::startCommunications()> startCommunications", 15s,
                                            *watchdogLog.find("<WatchDogControlle::startCommunications> failed"));
    ASSERT_TRUE(second);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(watchdogLog.count("<WatchDogController::startCommunications()> startCommunications"), 2);
}

TEST_F(CameraScenario, AWholeSessionWithCameraDriverAndViewer)
{
    // Cold start: camera and driver, no viewer.
    startDriver();
    startWatchdogWithCamera();
    ASSERT_TRUE(driverLog.waitFor("request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"Turn on Tessel\""));
    ASSERT_TRUE(driverLog.waitFor("buttonId=23"));

    // A click starts the viewer; it connects and the caption flips.
    ASSERT_TRUE(driverDoes("click"));
    ASSERT_TRUE(viewerLog.waitFor("tessel: connected", 10s));
    const auto turnedOn = driverLog.waitFor("request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"Turn off Tessel\"");
    ASSERT_TRUE(turnedOn);

    // The driver restarts while the viewer runs: the item comes back with
    // the caption that the running viewer calls for.
    stopDriver();
    const auto restartedAt = driverLog.size();
    startDriver();
    EXPECT_TRUE(driverLog.waitFor("request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"Turn off Tessel\"", 13s,
                                  restartedAt));
    ASSERT_TRUE(driverLog.waitFor("buttonId=23", 5s, restartedAt));

    // The camera's on/off button asks the viewer to turn off; it closes and
    // the caption flips back.
    std::this_thread::sleep_for(PressGap);
    const auto before = driverLog.size();
    press("onoff");
    ASSERT_TRUE(viewerLog.waitFor("received request=1 command=93 VIEWER_ON_OFF"));
    EXPECT_TRUE(viewerLog.waitFor("exiting code=0 reason=turned-off-by-watchdog"));
    EXPECT_TRUE(driverLog.waitFor("request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"Turn on Tessel\"", 5s,
                                  before));
    EXPECT_TRUE(eventually([] { return processesNamed("tessel").empty(); }));
}

// Viewers that come and go leave nothing behind on the main thread: the
// button after the burst and the session's stop are handled at once.
TEST_F(CameraScenario, AfterABurstOfViewerClosesAButtonAndAStopAreNotHeldUp)
{
    startDriver();
    startWithViewer();
    ASSERT_TRUE(driverLog.waitFor("buttonId=23"));
    constexpr int Cycles = 50;
    for (int cycle = 0; cycle < Cycles; ++cycle) {
        ASSERT_TRUE(viewerDoes("close"));
        ASSERT_TRUE(viewerDoes("connect"));
    }
    // The stand-in works through the commands at its own pace.
    ASSERT_TRUE(eventually([this] { return viewerLog.count("connected to=") == Cycles + 1; }, 60s));

    const auto from = viewerLog.size();
    const auto pressed = std::chrono::steady_clock::now();
    ASSERT_TRUE(cameraDoes("press 164"));
    ASSERT_TRUE(viewerLog.waitFor("command=164", 3s, from));
    EXPECT_LT(std::chrono::steady_clock::now() - pressed, 100ms * SanitizerSlowdown);

    const pid_t pid = watchdogPid();
    const auto stopped = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    ASSERT_TRUE(waitForProcessCount("tesselwatchdogapplication", 0, 30s));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s * SanitizerSlowdown);
}

// A driver that takes requests and never answers does not hold up the end.
TEST_F(CameraScenario, AStopWhileARequestWaitsForTheDriverEndsAtOnce)
{
    startDriver();
    ASSERT_TRUE(driverDoes("mode silent"));
    ASSERT_TRUE(driverLog.waitFor("mode silent"));
    startWatchdogWithCamera();
    ASSERT_TRUE(driverLog.waitFor("request ADD_MENU_ITEM"));
    const auto stopped = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(watchdogPid(), SIGTERM), 0);
    ASSERT_TRUE(waitForProcessCount("tesselwatchdogapplication", 0, 40s));
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1s * SanitizerSlowdown);
    EXPECT_TRUE(watchdogLog.find("<WatchDogController::~WatchDogController()> Exit."));
}

// The camera goes while the periodic check has just reconnected to the
// driver and waits before adding the menu item: the copy ends cleanly and
// the fresh copy starts.
TEST_F(CameraScenario, AnUnplugWhileTheDriverConnectionIsRenewedStillStartsTheFreshCopy)
{
    startDriver();
    startWatchdogWithCamera();
    ASSERT_TRUE(driverLog.waitFor("buttonId=23"));
    const pid_t first = watchdogPid();
    const auto dropped = driverLog.size();
    ASSERT_TRUE(driverDoes("drop"));
    ASSERT_TRUE(driverLog.waitFor("accepted peer=", 15s, dropped));
    ASSERT_TRUE(cameraDoes("unplug camera"));
    ASSERT_TRUE(eventually([first] {
        const auto copies = processesNamed("tesselwatchdogapplication");
        return copies.size() == 1 && copies.front() != first;
    }, 10s));
    EXPECT_TRUE(watchdogLog.find("<WatchDogController::~WatchDogController()> Exit."));
}
