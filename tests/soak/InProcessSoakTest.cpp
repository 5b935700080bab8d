// Long runs in one process: 200 driver restarts, and 10,000 button codes
// from the camera handler's thread to the viewer.
#include "SoakFigures.h"

#include "app/WatchDogController.h"
#include "camera/USBCameraHandler.h"
#include "protocol/ChannelAddress.h"
#include "driverapi/APIClient.h"
#include "protocol/RequestHeader.h"
#include "server/WDServer.h"

#include "FakeControlLibrary.h"
#include "FakePlatform.h"
#include "TestDriver.h"
#include "TestViewer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

struct WatchDogControllerTestAccess
{
    static APIClient *client(WatchDogController *controller) { return controller->apiClient; }
    static void queueCheck(WatchDogController *controller) { controller->verifyBVDAPIConnectionStatus(); }
};

namespace {

bool waitUntil(const std::function<bool()> &condition, int timeoutMs = 10000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

int ownDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// The driver's socket in a folder of the test's own: the driver is gone
// between restarts, and nobody else can take its place there.
std::string privateRuntimeFolder()
{
    char pattern[] = "/tmp/tessel-soak-XXXXXX";
    const char *folder = ::mkdtemp(pattern);
    ::setenv("XDG_RUNTIME_DIR", folder, 1);
    ::unsetenv("TESSEL_LOOPBACK_TCP");
    return folder;
}

long ownStatus(const std::string &field)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    return -1;
}

} // namespace

TEST(InProcessSoak, TwoHundredDriverRestarts)
{
    fakes::FakePlatform system;
    FakeControlLibrary::install(system.moduleLoader);
    const std::string folder = privateRuntimeFolder();
    const protocol::ChannelAddress driverChannel = protocol::driverChannel();
    auto driver = std::make_unique<TestDriver>(driverChannel);
    WatchDogController *controller = WatchDogController::instance();
    ASSERT_TRUE(controller->startCommunications());
    ASSERT_TRUE(waitUntil([&] { return driver->requests().size() >= 15; }));

    const int descriptorsBefore = ownDescriptors();
    const long threadsBefore = ownStatus("Threads");
    const long residentBefore = ownStatus("VmRSS");
    int incomplete = 0;
    constexpr int Restarts = 200;
    for (int restart = 0; restart < Restarts; ++restart) {
        driver.reset(); // the driver goes away with its connection
        ASSERT_TRUE(waitUntil([&] { return !WatchDogControllerTestAccess::client(controller)->isConnected(); }));
        driver = std::make_unique<TestDriver>(driverChannel);
        WatchDogControllerTestAccess::queueCheck(controller);
        // The item and the fourteen buttons, again, on the new connection.
        if (!waitUntil([&] { return driver->requests().size() >= 15; }))
            ++incomplete;
    }
    QThread::msleep(200);
    const int descriptorsAfter = ownDescriptors();
    const long threadsAfter = ownStatus("Threads");
    const long residentAfter = ownStatus("VmRSS");
    reportFigures("driver restarts",
                  "restarts=" + std::to_string(Restarts) + " registrations-missing=" + std::to_string(incomplete)
                      + " threads=" + std::to_string(threadsBefore) + "->" + std::to_string(threadsAfter)
                      + " fds=" + std::to_string(descriptorsBefore) + "->" + std::to_string(descriptorsAfter)
                      + " rss-kib=" + std::to_string(residentBefore) + "->" + std::to_string(residentAfter));
    EXPECT_EQ(incomplete, 0);
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
    EXPECT_EQ(threadsAfter, threadsBefore);
    if (ResidentMemoryIsMeaningful) {
        EXPECT_LT(residentAfter - residentBefore, 4096);
    }
    WatchDogController::destroyInstance();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

TEST(InProcessSoak, TenThousandButtonCodesReachTheViewer)
{
    fakes::FakePlatform system;
    FakeControlLibrary::install(system.moduleLoader);
    auto camera = std::make_shared<fakes::FakeHidDevice>(0x7A3E, 0x4B20, 65);
    system.hidInterfaces.addInterface("/dev/hidraw0 hid#vid_7a3e&pid_4b20", camera);
    WDServer server(0);
    ASSERT_TRUE(server.startUsbCommunication());
    server.startServer();
    ASSERT_TRUE(waitUntil([&] { return server.listeningPort() != 0; }));

    constexpr int Codes = 10000;
    std::atomic<int> received{0};
    std::atomic<bool> viewerReady{false};
    std::thread viewerThread([&] {
        TestViewer viewer(server.listeningPort());
        viewerReady = true;
        while (received < Codes) {
            const auto record = viewer.receive(5000);
            if (!record)
                return;
            if (record->command == 162)
                ++received;
        }
    });
    ASSERT_TRUE(waitUntil([&] { return viewerReady && server.isViewerConnected(); }));

    // The codes leave the handler's thread as fast as it can decode them.
    std::vector<std::uint8_t> data(64, 0);
    data[9] = 0x02; // report byte 10, bit 1
    USBCameraHandler *handler = server.currentCameraHandler();
    std::thread reader([&] {
        for (int i = 0; i < Codes; ++i)
            handler->handleInputReport(data.data(), data.size());
    });
    const bool all = waitUntil([&] { return received >= Codes; }, 60000);
    reader.join();
    viewerThread.join();
    reportFigures("button codes", "sent=" + std::to_string(Codes) + " received=" + std::to_string(received.load())
                                      + " lost=" + std::to_string(Codes - received.load()));
    EXPECT_TRUE(all);
    EXPECT_EQ(received, Codes);
    server.stopServer();
    server.waitForServerThread();
}
