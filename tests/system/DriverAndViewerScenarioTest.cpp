// The real watchdog with the driver and viewer stand-ins, on their sockets.
#include "SystemFixture.h"

#include <csignal>
#include <thread>

using namespace systemtest;

namespace {

const char *const RegisteredButtons = "status buttons=93,116,139,162,94,117,140,163,95,118,141,164,96,23";

class DriverAndViewerScenario : public SystemFixture
{
};

} // namespace

TEST_F(DriverAndViewerScenario, TheMenuItemArrivesBeforeTheFourteenButtons)
{
    startDriver();
    startWatchdog();
    const auto item = driverLog.waitFor("request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"Turn on Tessel\"");
    ASSERT_TRUE(item);
    const auto firstButton = driverLog.waitFor("request ADD_OEM_BUTTON length=4 buttonId=93");
    const auto lastButton = driverLog.waitFor("request ADD_OEM_BUTTON length=4 buttonId=23");
    ASSERT_TRUE(firstButton && lastButton);
    EXPECT_LT(*item, *firstButton);
    ASSERT_TRUE(driverDoes("status"));
    EXPECT_TRUE(driverLog.waitFor(RegisteredButtons));
}

TEST_F(DriverAndViewerScenario, AClickStartsTheViewerAndItsComingAndGoingFlipsTheCaption)
{
    startDriver();
    startWatchdog();
    ASSERT_TRUE(driverLog.waitFor("buttonId=23"));
    ASSERT_TRUE(driverDoes("click"));

    // The watchdog starts the viewer stand-in from its own folder.
    ASSERT_TRUE(viewerLog.waitFor("tessel: connected", 10s));
    const auto removed = driverLog.waitFor("request REMOVE_MENU_ITEM length=144 flag=1 itemId=1");
    const auto added = driverLog.waitFor("request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"Turn off Tessel\"");
    ASSERT_TRUE(removed && added);
    EXPECT_LT(*removed, *added);

    // The viewer announces that it closes: the caption flips back.
    ASSERT_TRUE(viewerDoes("exit"));
    const auto back = driverLog.waitFor("caption=\"Turn on Tessel\"", 5s, *added);
    ASSERT_TRUE(back);
    EXPECT_TRUE(driverLog.find("request REMOVE_MENU_ITEM length=144 flag=1 itemId=2", *added));
    EXPECT_TRUE(waitForProcessCount("tessel", 0));
}

TEST_F(DriverAndViewerScenario, AClickWhileTheViewerRunsAsksItToTurnOff)
{
    startDriver();
    startWatchdog();
    ASSERT_TRUE(driverLog.waitFor("buttonId=23"));
    startViewer();
    ASSERT_TRUE(driverLog.waitFor("caption=\"Turn off Tessel\""));
    // The driver's click travels: receive thread, dispatch thread, viewer.
    ASSERT_TRUE(driverDoes("click"));
    ASSERT_TRUE(viewerLog.waitFor("tessel: received request=1 command=93 VIEWER_ON_OFF state=0"));
    EXPECT_EQ(viewer->waitForExit(), 0);
    const auto flipped = driverLog.waitFor("request ADD_MENU_ITEM length=144 flag=1 itemId=0 caption=\"Turn on Tessel\"",
                                           5s, *driverLog.find("caption=\"Turn off Tessel\""));
    EXPECT_TRUE(flipped);
}

TEST_F(DriverAndViewerScenario, OemButtonsFromTheDriverReachTheViewer)
{
    startDriver();
    startWatchdog();
    ASSERT_TRUE(driverLog.waitFor("buttonId=23"));
    startViewer();
    std::this_thread::sleep_for(700ms); // the quiet time between OEM presses
    ASSERT_TRUE(driverDoes("oem 164"));
    ASSERT_TRUE(viewerLog.waitFor("tessel: received request=1 command=164 - state=0"));
    std::this_thread::sleep_for(700ms);
    ASSERT_TRUE(driverDoes("oem 23"));
    // No browser here: the attempt to open the page from the language file
    // is what can be seen.
    EXPECT_TRUE(watchdogLog.waitFor("<WatchDogController::openWebPage> Failed to Open BVWebSite Webpage in Browser."));
    std::this_thread::sleep_for(700ms);
    ASSERT_TRUE(driverDoes("oem 93"));
    ASSERT_TRUE(viewerLog.waitFor("tessel: received request=1 command=93 VIEWER_ON_OFF"));
    EXPECT_EQ(viewer->waitForExit(), 0);
}

TEST_F(DriverAndViewerScenario, ADriverThatComesBackIsReconnectedAndGivenItsItemsAgain)
{
    startDriver();
    startWatchdog();
    ASSERT_TRUE(driverLog.waitFor("buttonId=23"));
    stopDriver();
    ASSERT_TRUE(watchdogLog.waitFor("<WatchDogController::bvdApiDisconnected()> reason:  -1"));
    const auto restartedAt = driverLog.size();
    startDriver();
    // Within one check period (10 s) and its 1.2 s pause.
    const auto item = driverLog.waitFor("request ADD_MENU_ITEM", 13s, restartedAt);
    ASSERT_TRUE(item);
    const auto lastButton = driverLog.waitFor("buttonId=23", 5s, *item);
    ASSERT_TRUE(lastButton);
    EXPECT_EQ(watchdogLog.count("<WatchDogController::bvdApiDisconnected()> reason:  -1"), 1);
    ASSERT_TRUE(driverDoes("status"));
    EXPECT_TRUE(driverLog.waitFor(RegisteredButtons, 5s, *lastButton));
}

TEST_F(DriverAndViewerScenario, AViewerThatDiesMidRecordIsNoticedAndTheNextIsServed)
{
    startDriver();
    startWatchdog();
    ASSERT_TRUE(driverLog.waitFor("buttonId=23"));
    startViewer();
    ASSERT_TRUE(driverLog.waitFor("caption=\"Turn off Tessel\""));
    ASSERT_TRUE(viewerDoes("half"));
    ASSERT_TRUE(watchdogLog.waitFor("<ManageWatchDogServer::run()> incomplete record dropped, bytes: 1308"));
    ASSERT_TRUE(watchdogLog.waitFor("<ManageWatchDogServer::run()> client disconnecting."));
    const auto flippedBack = driverLog.waitFor("caption=\"Turn on Tessel\"", 5s, *driverLog.find("Turn off Tessel"));
    EXPECT_TRUE(flippedBack);

    ASSERT_TRUE(viewerDoes("connect"));
    ASSERT_TRUE(viewerLog.waitFor("tessel: connected", 5s, 1));
    ASSERT_TRUE(viewerDoes("request 563"));
    EXPECT_TRUE(viewerLog.waitFor("tessel: received request=0 command=563 LED_STATUS state=0"));
}

TEST_F(DriverAndViewerScenario, SigtermEndsTheWatchdogWithinASecondAndNoCopyFollows)
{
    startDriver();
    startWatchdog();
    ASSERT_TRUE(driverLog.waitFor("buttonId=23"));
    startViewer();
    const auto stoppedAt = std::chrono::steady_clock::now();
    watchdog->signal(SIGTERM);
    const auto code = watchdog->waitForExit(1s);
    ASSERT_TRUE(code) << "still running a second after SIGTERM";
    EXPECT_EQ(*code, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, 1s * SanitizerSlowdown);
    EXPECT_TRUE(watchdogLog.find("<WatchDogController::~WatchDogController()> Exit."));
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(processesNamed("tesselwatchdogapplication").empty());
}

TEST_F(DriverAndViewerScenario, ASecondStartShowsTheBoxAndLeavesTheFirstAlone)
{
    startWatchdog();
    Program second;
    ASSERT_TRUE(second.start(programDirectory() / "tesselwatchdogapplication", {}, file("second.log")));
    LogFile secondLog(file("second.log"));
    // The box's title is logged before the box blocks.
    ASSERT_TRUE(secondLog.waitFor("Tessel Watchdog"));
    EXPECT_FALSE(secondLog.find("startCommunications"));
    // The session closes the box: the copy ends with 0, having opened no
    // socket (its descriptors are those of a bare Qt program).
    second.signal(SIGTERM);
    EXPECT_EQ(second.waitForExit(), 0);
    EXPECT_TRUE(watchdog->running());
    EXPECT_EQ(processesNamed("tesselwatchdogapplication").size(), 1u);
}

TEST_F(DriverAndViewerScenario, ADriverThatNeverAnswersHoldsUpOnlyTheDriverWork)
{
    startDriver();
    ASSERT_TRUE(driverDoes("mode silent"));
    ASSERT_TRUE(driverLog.waitFor("brivaradriver: mode silent"));
    startWatchdog();
    // The menu item request now waits 30 s for its answer on the dispatch
    // thread; the viewer side and the driver's events carry on meanwhile.
    ASSERT_TRUE(driverLog.waitFor("request ADD_MENU_ITEM"));
    startViewer();
    ASSERT_TRUE(viewerDoes("request 563"));
    EXPECT_TRUE(viewerLog.waitFor("tessel: received request=0 command=563 LED_STATUS state=0", 2s));
    ASSERT_TRUE(driverDoes("oem 164"));
    EXPECT_TRUE(driverLog.waitFor("sent type=7 OEM_BUTTON_PRESSED value=164"));
    // The press waits in the queue behind the request: it reaches the viewer
    // only once the request has timed out.
    EXPECT_TRUE(viewerLog.waitFor("command=164", 1s) == std::nullopt);
    EXPECT_TRUE(watchdog->running());
}
