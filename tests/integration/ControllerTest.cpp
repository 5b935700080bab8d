// The controller with its real server, client and dispatch thread, against a
// driver and viewers on real loopback sockets, over the fake platform.
#include "app/ConfigurationSettings.h"
#include "app/WatchDogController.h"
#include "protocol/ChannelAddress.h"
#include "driverapi/APIClient.h"
#include "protocol/RequestHeader.h"
#include "protocol/ResponseHeader.h"
#include "server/WDServer.h"
#include "protocol/WatchdogCommand.h"

#include "FakeControlLibrary.h"
#include "FakePlatform.h"
#include "LogCapture.h"
#include "SanitizerSlowdown.h"
#include "TestDriver.h"
#include "TestViewer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <QThread>
#include <QUrl>

#include <functional>

struct WatchDogControllerTestAccess
{
    static APIClient *client(WatchDogController *controller) { return controller->apiClient; }
    static bool viewerOn(WatchDogController *controller) { return controller->viewerOn; }
    static bool viewerRunning(WatchDogController *controller) { return controller->viewerRunning; }
    static void oemButton(WatchDogController *controller, int id) { controller->bvdApiOemButtonPressed(id); }
    static void checkConnection(WatchDogController *controller) { controller->checkApiConnection(); }
    // As the check timer does: through the queue, on the dispatch thread.
    static void queueCheck(WatchDogController *controller) { controller->verifyBVDAPIConnectionStatus(); }
    static void menuItemClicked(WatchDogController *controller, int id) { controller->handleMenuItemClicked(id); }
    static bool addIcons(WatchDogController *controller) { return controller->addOEMIcons(); }
    static void disconnected(WatchDogController *controller, int reason) { controller->bvdApiDisconnected(reason); }
};

namespace {

using Access = WatchDogControllerTestAccess;

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// The connection statuses, from whatever thread publishes them.
class StatusRecorder
{
public:
    StatusRecorder()
    {
        QObject::connect(ConfigurationSettings::instance(), &ConfigurationSettings::setBVDConnectionStatus,
                         &context, [this](BRIVARA_DRIVER_CONNECTION_STATUS status) {
                             std::lock_guard locker(mutex);
                             recorded.append(status);
                         }, Qt::DirectConnection);
    }
    QList<BRIVARA_DRIVER_CONNECTION_STATUS> statuses() const
    {
        std::lock_guard locker(mutex);
        return recorded;
    }
    void clear()
    {
        std::lock_guard locker(mutex);
        recorded.clear();
    }

private:
    QObject context;
    mutable std::mutex mutex;
    QList<BRIVARA_DRIVER_CONNECTION_STATUS> recorded;
};

// The user's channel sockets in a folder of the test's own, made before the
// test driver that listens there.
struct PrivateRuntimeFolder
{
    PrivateRuntimeFolder()
    {
        char pattern[] = "/tmp/tessel-controller-XXXXXX";
        folder = ::mkdtemp(pattern);
        ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
        ::unsetenv("TESSEL_LOOPBACK_TCP");
    }
    ~PrivateRuntimeFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::string folder;
};

class ControllerTest : public ::testing::Test, protected PrivateRuntimeFolder
{
protected:
    void SetUp() override
    {
        FakeControlLibrary::install(system.moduleLoader);
        moveDriverAway();
        system.heldLocks.insert("WatchDogApp_SingleInstanceMutex");
        system.processList.onStartDetached = [this](const std::string &) {
            lockHeldAtRestart = system.heldLocks.count("WatchDogApp_SingleInstanceMutex") > 0;
        };
    }

    void TearDown() override
    {
        if (controller)
            WatchDogController::destroyInstance();
    }

    virtual void moveDriverAway() {}

    bool start()
    {
        controller = WatchDogController::instance();
        return controller->startCommunications();
    }

    void stop()
    {
        WatchDogController::destroyInstance();
        controller = nullptr;
    }

    protocol::ChannelAddress viewerAddress()
    {
        waitUntil([] { return WDServer::instance()->isListening(); });
        return WDServer::instance()->channelAddress();
    }

    // Lines of the watchdog's own classes, in order, without the server
    // thread's (whose place among them depends on timing).
    QStringList controllerLines() const
    {
        QStringList lines;
        for (const QString &line : log.lines())
            if (!line.startsWith("<WDServer::run()>"))
                lines.append(line);
        return lines;
    }

    std::vector<std::int32_t> buttonRequests() const
    {
        std::vector<std::int32_t> ids;
        for (const auto &request : driver.requests())
            if (request.type == ADD_OEM_BUTTON)
                ids.push_back(request.buttonId());
        return ids;
    }

    fakes::FakePlatform system;
    LogCapture log;
    TestDriver driver{protocol::driverChannel()};
    WatchDogController *controller = nullptr;
    bool lockHeldAtRestart = true;
};

const std::vector<std::int32_t> RegistrationOrder{93, 116, 139, 162, 94, 117, 140, 163, 95, 118, 141, 164, 96, 23};

// The same, with no driver listening.
class ControllerWithoutDriverTest : public ControllerTest
{
protected:
    // The watchdog looks for its driver in a folder where nobody listens.
    void moveDriverAway() override
    {
        const std::string elsewhere = folder + "/elsewhere";
        ::setenv("XDG_RUNTIME_DIR", elsewhere.c_str(), 1);
    }
};

} // namespace

TEST_F(ControllerWithoutDriverTest, StartsWithoutCameraOrDriverAndTearsDownInOrder)
{
    ASSERT_TRUE(start());
    EXPECT_NE(Access::client(controller), nullptr) << "the client is kept for the periodic check";
    EXPECT_EQ(controllerLines(),
              (QStringList{"<WatchDogController::startCommunications()> startCommunications",
                           "<WatchDogController::initializeApplication()> initializeApplication",
                           "<WatchDogController::initializeWatchdogServerConnection()> initializeWatchdogServerConnection",
                           "<WDServer::OpenHIDDevice()> failed to featchVideoDeviceInformation.",
                           "<WatchDogController::initializeBrivaraDriverAPIConnection()> initializeBrivaraDriverAPIConnection",
                           "<APIClient::connectToServer()> Could not connect to the Brivara Server.",
                           "<WatchDogController::initializeBrivaraDriverAPIConnection()> brivaraDriverAPIClient Terminate.",
                           "<WatchDogController::initializeApplication()> Failed to connect brivara driver."}));
    viewerAddress();
    log.clear();
    stop();
    EXPECT_EQ(controllerLines(), (QStringList{"WatchDogController::~WatchDogController()",
                                              "watchDogServer Finished()...", "Unregistration successful.",
                                              "<WatchDogController::~WatchDogController()> Exit."}));
    EXPECT_EQ(system.processList.detachedStarts(), std::vector<std::string>{"tesselwatchdogapplication.exe"});
}

TEST_F(ControllerWithoutDriverTest, TheFreshCopyStartsAfterTheLockIsGivenUp)
{
    auto lock = system.createInstanceLock("WatchDogApp_SingleInstanceMutex");
    system.heldLocks.clear();
    ASSERT_EQ(lock->acquire(), platform::InstanceLock::Outcome::Acquired);
    ASSERT_TRUE(start());
    controller->setInstanceLock(lock.get());
    stop();
    EXPECT_FALSE(lockHeldAtRestart);
    EXPECT_EQ(system.processList.detachedStarts().size(), 1u);
    lock->release(); // a second release does nothing
    EXPECT_EQ(system.lockReleases, 1);
}

TEST_F(ControllerWithoutDriverTest, AStopAskedForByTheSessionStartsNoFreshCopy)
{
    ASSERT_TRUE(start());
    system.sessionEnd = true;
    stop();
    EXPECT_TRUE(system.processList.detachedStarts().empty());
}

TEST_F(ControllerWithoutDriverTest, AFailedStartIsNotRetriedAtOnce)
{
    // The camera is there but its library does not come up: the start fails.
    system.hidInterfaces.addInterface("/dev/hidraw0 hid#vid_7a3e&pid_4b20",
                                      std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65));
    FakeControlLibrary::initResult = 0;
    WatchDogController::failedStartRetryMs = 1500;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(start());
    EXPECT_TRUE(log.contains("<WatchDogController::initializeWatchdogServerConnection()> startUsbCommunication failed."));
    EXPECT_TRUE(log.contains("<WatchDogController::initializeApplication()> Failed to Start watchdog server."));
    EXPECT_NE(Access::client(controller), nullptr);
    stop();
    WatchDogController::failedStartRetryMs = 10000;
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_EQ(system.processList.detachedStarts().size(), 1u);
}

TEST_F(ControllerWithoutDriverTest, ALogOffDuringTheFailedStartWaitEndsItAndStartsNoFreshCopy)
{
    system.hidInterfaces.addInterface("/dev/hidraw0 hid#vid_7a3e&pid_4b20",
                                      std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65));
    FakeControlLibrary::initResult = 0;
    system.sessionEndsDuringWait = true;
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(start());
    stop();
    EXPECT_LT(clock.elapsed(), 5000) << "the wait outlived the session";
    EXPECT_TRUE(system.processList.detachedStarts().empty());
}

TEST_F(ControllerWithoutDriverTest, TheConnectionCheckReportsTheDriversState)
{
    ASSERT_TRUE(start());
    QSignalSpy statuses(ConfigurationSettings::instance(), &ConfigurationSettings::setBVDConnectionStatus);
    Access::checkConnection(controller);
    system.processList.setRunning("BrivaraDriver.exe", true);
    Access::checkConnection(controller);
    ASSERT_EQ(statuses.size(), 4);
    EXPECT_EQ(statuses[0][0].value<BRIVARA_DRIVER_CONNECTION_STATUS>(), DRIVER_STATUS_CHECKING);
    EXPECT_EQ(statuses[1][0].value<BRIVARA_DRIVER_CONNECTION_STATUS>(), DRIVER_STATUS_NOT_RUNNING);
    EXPECT_EQ(statuses[2][0].value<BRIVARA_DRIVER_CONNECTION_STATUS>(), DRIVER_STATUS_CHECKING);
    EXPECT_EQ(statuses[3][0].value<BRIVARA_DRIVER_CONNECTION_STATUS>(), DRIVER_STATUS_NOT_ANSWERING);
    EXPECT_EQ(log.count("<WatchDogController::checkApiConnection()> checkApiConnection"), 2);
}

TEST_F(ControllerTest, AtStartTheMenuItemReachesTheDriverBeforeTheFourteenButtons)
{
    ASSERT_TRUE(start());
    EXPECT_TRUE(log.contains(
        "<WatchDogController::initializeBrivaraDriverAPIConnection()> initializeBrivaraDriverAPIConnection:  true"));
    ASSERT_TRUE(waitUntil([this] { return driver.requests().size() >= 15; }));
    const auto requests = driver.requests();
    ASSERT_EQ(requests.front().type, ADD_MENU_ITEM);
    const MenuItemRecord item = requests.front().menuItem();
    EXPECT_EQ(item.flag, 1);
    EXPECT_EQ(item.caption, u"Turn on Tessel");
    EXPECT_EQ(item.itemId, 0);
    EXPECT_EQ(buttonRequests(), RegistrationOrder);
}

TEST_F(ControllerTest, AConnectedCheckReportsOnlyConnectedAndALostDriverIsReconnected)
{
    ASSERT_TRUE(start());
    ASSERT_TRUE(waitUntil([this] { return driver.requests().size() >= 15; }));
    StatusRecorder recorder;
    using Statuses = QList<BRIVARA_DRIVER_CONNECTION_STATUS>;
    Access::queueCheck(controller);
    ASSERT_TRUE(waitUntil([&recorder] { return recorder.statuses().size() >= 1; }));
    EXPECT_EQ(recorder.statuses(), Statuses{DRIVER_STATUS_CONNECTED});
    EXPECT_EQ(driver.requests().size(), 15u) << "a connected check sends nothing";

    // The driver goes away: the loss is reported once and closes the client;
    // the next check reconnects and adds the item before the buttons.
    driver.dropConnection();
    ASSERT_TRUE(log.waitFor("<WatchDogController::bvdApiDisconnected()> reason:  -1"));
    ASSERT_TRUE(waitUntil([this] { return !Access::client(controller)->isConnected(); }));
    recorder.clear();
    Access::queueCheck(controller);
    ASSERT_TRUE(waitUntil([&recorder] { return recorder.statuses().size() >= 2; }));
    EXPECT_EQ(recorder.statuses(), (Statuses{DRIVER_STATUS_CHECKING, DRIVER_STATUS_CONNECTED}));
    ASSERT_TRUE(waitUntil([this] { return driver.requests().size() >= 30; }));
    const auto requests = driver.requests();
    EXPECT_EQ(requests[15].type, ADD_MENU_ITEM);
    EXPECT_EQ(buttonRequests().size(), 28u);
    EXPECT_EQ(driver.connections(), 2);
    EXPECT_EQ(log.count("<WatchDogController::bvdApiDisconnected()> reason:  -1"), 1);
}

TEST_F(ControllerTest, AllFourteenButtonsAreRegisteredEvenWhenTheFirstIsRefused)
{
    ASSERT_TRUE(start());
    ASSERT_TRUE(waitUntil([this] { return driver.requests().size() >= 15; }));
    driver.setMode(TestDriver::Mode::Fixed, 0);
    EXPECT_FALSE(Access::addIcons(controller));
    EXPECT_EQ(driver.requests().size(), 29u);
}

TEST_F(ControllerTest, AViewerConnectingAndClosingFlipsTheMenuItem)
{
    ASSERT_TRUE(start());
    ASSERT_TRUE(waitUntil([this] { return driver.requests().size() >= 15; }));
    {
        TestViewer viewer(viewerAddress());
        ASSERT_TRUE(waitUntil([this] { return driver.requests().size() >= 17; }));
        auto requests = driver.requests();
        EXPECT_EQ(requests[15].type, REMOVE_MENU_ITEM);
        EXPECT_EQ(requests[15].menuItem().itemId, 1);
        EXPECT_EQ(requests[16].type, ADD_MENU_ITEM);
        EXPECT_EQ(requests[16].menuItem().caption, u"Turn off Tessel");
        EXPECT_TRUE(Access::viewerRunning(controller));
        EXPECT_TRUE(log.contains("<WatchDogController::startZoomApplicationSysMenu()>  iMenuItemId:  1"));
    }
    ASSERT_TRUE(waitUntil([this] { return driver.requests().size() >= 19; }));
    const auto requests = driver.requests();
    EXPECT_EQ(requests[17].type, REMOVE_MENU_ITEM);
    EXPECT_EQ(requests[17].menuItem().itemId, 2);
    EXPECT_EQ(requests[18].type, ADD_MENU_ITEM);
    EXPECT_EQ(requests[18].menuItem().caption, u"Turn on Tessel");
    EXPECT_FALSE(Access::viewerRunning(controller));
    EXPECT_FALSE(Access::viewerOn(controller));
}

TEST_F(ControllerTest, AClickStartsTheViewerOrAsksARunningOneToTurnOff)
{
    ASSERT_TRUE(start());
    Access::menuItemClicked(controller, 5);
    ASSERT_TRUE(waitUntil([this] { return !system.processList.shellCalls().empty(); }));
    EXPECT_EQ(system.processList.shellCalls(), std::vector<std::string>{"open tessel.exe"});
    EXPECT_TRUE(log.waitFor("<WatchDogController::manageDocCamApplication()> bFlag=  false"));

    // Not allowed: elevated; still not: said so.
    system.processList.queueShellResults({platform::SE_ERR_ACCESSDENIED, platform::SE_ERR_ACCESSDENIED});
    Access::menuItemClicked(controller, 5);
    EXPECT_TRUE(log.waitFor("VX=> Error to run tessel.exe "));
    EXPECT_TRUE(log.contains("VX=> SE_ERR_ACCESSDENIED "));
    EXPECT_EQ(system.processList.shellCalls(),
              (std::vector<std::string>{"open tessel.exe", "open tessel.exe", "runas tessel.exe"}));

    // A viewer that runs is asked to turn off instead.
    TestViewer viewer(viewerAddress());
    ASSERT_TRUE(waitUntil([this] { return Access::viewerRunning(controller); }));
    Access::menuItemClicked(controller, 5);
    const auto record = viewer.receive();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->request, 1);
    EXPECT_EQ(record->command, VIEWER_ON_OFF);
    EXPECT_EQ(system.processList.shellCalls().size(), 3u);
}

TEST_F(ControllerTest, OemButtonsWaitOutTheQuietTimeAndReachTheViewer)
{
    ASSERT_TRUE(start());
    TestViewer viewer(viewerAddress());
    ASSERT_TRUE(waitUntil([this] { return Access::viewerRunning(controller); }));

    Access::oemButton(controller, 116); // within 600 ms of the start: dropped
    QThread::msleep(700);
    Access::oemButton(controller, 164);
    Access::oemButton(controller, 94); // 0 ms later: dropped
    QThread::msleep(400);
    Access::oemButton(controller, 140); // 400 ms after the last: dropped
    QThread::msleep(700);
    Access::oemButton(controller, 97); // unknown: nothing, but restarts the clock
    QThread::msleep(300);
    Access::oemButton(controller, 95); // dropped
    QThread::msleep(700);
    Access::oemButton(controller, 139);

    const auto first = viewer.receive();
    const auto second = viewer.receive();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->command, 164);
    EXPECT_EQ(first->request, 1);
    EXPECT_EQ(second->command, ROTATE);
    EXPECT_TRUE(viewer.silentFor(200));
}

TEST_F(ControllerTest, OemButtonTwentyThreeOpensTheWebPageAndNothingButWebPages)
{
    ASSERT_TRUE(start());
    QThread::msleep(650);
    Access::oemButton(controller, 23);
    EXPECT_TRUE(waitUntil([this] { return !system.processList.webPages().empty(); }));
    EXPECT_EQ(system.processList.webPages(), std::vector<std::string>{"https://www.brivara.com/tessel"});

    // The language file names the address: whatever else it could name
    // would be run by the shell.
    for (const char *address : {"https://www.brivara.com/tessel?lang=de", "http://localhost:8080/"})
        EXPECT_TRUE(WatchDogController::isWebAddress(QUrl(address, QUrl::StrictMode))) << address;
    for (const char *address : {"file:///usr/bin/xcalc", "/usr/bin/xcalc", "C:\\Windows\\System32\\calc.exe",
                                "javascript:alert(1)", "ms-settings:", "https://", "https:///path", ""})
        EXPECT_FALSE(WatchDogController::isWebAddress(QUrl(address, QUrl::StrictMode))) << address;
}

TEST_F(ControllerTest, ADisconnectionReportWhileDisconnectedOnlyLogs)
{
    ASSERT_TRUE(start());
    Access::client(controller)->disconnectFromServer();
    Access::disconnected(controller, 104);
    EXPECT_TRUE(log.contains("<WatchDogController::bvdApiDisconnected()> reason:  104"));
    EXPECT_FALSE(Access::client(controller)->isConnected());
}

// Teardown while the dispatch thread is in the middle of driver work: it
// neither waits that work out nor lets it touch what teardown frees.
TEST_F(ControllerTest, TeardownDuringTheReconnectionPauseEndsAtOnceAndTheFreshCopyStarts)
{
    ASSERT_TRUE(start());
    ASSERT_TRUE(waitUntil([this] { return driver.requests().size() >= 15; }));
    driver.dropConnection();
    ASSERT_TRUE(waitUntil([this] { return !Access::client(controller)->isConnected(); }));
    // The check reconnects, then pauses 1200 ms before the menu item.
    Access::queueCheck(controller);
    ASSERT_TRUE(waitUntil([this] { return driver.connections() == 2; }));
    QElapsedTimer clock;
    clock.start();
    stop();
    EXPECT_LT(clock.elapsed(), 1000 * SanitizerSlowdown);
    EXPECT_EQ(driver.requests().size(), 15u) << "nothing is sent once teardown has begun";
    EXPECT_EQ(system.processList.detachedStarts(), std::vector<std::string>{"tesselwatchdogapplication.exe"});
}

TEST_F(ControllerTest, TeardownWakesARequestThatWaitsForAnAnswerThatNeverComes)
{
    driver.setMode(TestDriver::Mode::Silent);
    ASSERT_TRUE(start());
    // The menu item request 1200 ms after the start waits up to 30 s.
    ASSERT_TRUE(waitUntil([this] { return driver.requests().size() == 1; }));
    QElapsedTimer clock;
    clock.start();
    stop();
    EXPECT_LT(clock.elapsed(), 1000 * SanitizerSlowdown);
    EXPECT_EQ(driver.requests().size(), 1u) << "the queued buttons are dropped, not sent";
    EXPECT_EQ(system.processList.detachedStarts().size(), 1u);
}


TEST_F(ControllerWithoutDriverTest, UnderAServiceManagerTheFreshCopyIsLeftToIt)
{
    system.supervised = true;
    ASSERT_TRUE(start());
    stop();
    EXPECT_TRUE(system.processList.detachedStarts().empty());
    EXPECT_TRUE(WatchDogController::freshCopyLeftToServiceManager());
    EXPECT_TRUE(log.contains("<WatchDogController::~WatchDogController()> the service manager starts the fresh copy."));
}
