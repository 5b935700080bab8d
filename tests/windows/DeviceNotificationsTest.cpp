// The hidden notification window: it exists only between create() and
// teardown(), registers for HID interface notifications, and turns the
// device-change and power messages the system sends it into listener
// calls. The messages here are fabricated the way the system sends them.
#include "PlatformTestSupport.h"
#include "WindowDeviceNotifications.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <string>
#include <vector>

namespace {

using namespace platform_tests;
using platform::win32_backend::WindowDeviceNotifications;

class RecordingListener : public platform::DeviceNotificationListener
{
public:
    void deviceArrived(bool deviceInterface) override
    {
        events.push_back(deviceInterface ? "arrived interface" : "arrived other");
    }
    void deviceRemoved() override { events.push_back("removed"); }
    void powerEvent(int event) override { events.push_back("power " + std::to_string(event)); }

    std::vector<std::string> events;
};

HWND notificationWindow()
{
    return FindWindowW(WindowDeviceNotifications::ClassName, WindowDeviceNotifications::WindowTitle);
}

DEV_BROADCAST_HDR header(DWORD deviceType)
{
    DEV_BROADCAST_HDR header{};
    header.dbch_size = sizeof header;
    header.dbch_devicetype = deviceType;
    return header;
}

LRESULT send(HWND window, UINT message, WPARAM wParam, const void *record = nullptr)
{
    return SendMessageW(window, message, wParam, reinterpret_cast<LPARAM>(record));
}

TEST(WindowDeviceNotifications, DeviceAndPowerMessagesReachTheListener)
{
    RecordingListener listener;
    WindowDeviceNotifications notifications;
    ASSERT_TRUE(notifications.create(listener));
    const HWND window = notificationWindow();
    ASSERT_NE(window, nullptr);

    const DEV_BROADCAST_HDR deviceInterface = header(DBT_DEVTYP_DEVICEINTERFACE);
    const DEV_BROADCAST_HDR volume = header(DBT_DEVTYP_VOLUME);
    DEV_BROADCAST_HDR truncated = header(DBT_DEVTYP_DEVICEINTERFACE);
    truncated.dbch_size = sizeof(DWORD); // claims to hold no device type
    EXPECT_EQ(send(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, &deviceInterface), 0);
    EXPECT_EQ(send(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, &volume), 0);
    EXPECT_EQ(send(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, &truncated), 0);
    EXPECT_EQ(send(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL), 0);
    EXPECT_EQ(send(window, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, &volume), 0);
    EXPECT_EQ(send(window, WM_DEVICECHANGE, DBT_DEVNODES_CHANGED), 0);
    EXPECT_EQ(send(window, WM_POWERBROADCAST, 7), TRUE);
    EXPECT_EQ(send(window, WM_POWERBROADCAST, PBT_APMSUSPEND), TRUE);

    const std::vector<std::string> expected{"arrived interface", "arrived other", "arrived other", "arrived other",
                                            "removed",           "power 7",       "power 4"};
    EXPECT_EQ(listener.events, expected);
    notifications.teardown();
}

TEST(WindowDeviceNotifications, PostedMessagesArriveThroughTheThreadsPump)
{
    RecordingListener listener;
    WindowDeviceNotifications notifications;
    ASSERT_TRUE(notifications.create(listener));
    ASSERT_TRUE(PostMessageW(notificationWindow(), WM_POWERBROADCAST, 18, 0));
    EXPECT_TRUE(listener.events.empty()) << "nothing happens until the thread dispatches";
    EXPECT_TRUE(pumpUntil([&] { return !listener.events.empty(); }));
    EXPECT_EQ(listener.events, std::vector<std::string>{"power 18"});
    notifications.teardown();
}

TEST(WindowDeviceNotifications, TenCyclesLeaveNoWindowAndUndoEachRegistrationOnce)
{
    RecordingListener listener;
    for (int cycle = 0; cycle < 10; ++cycle) {
        WindowDeviceNotifications notifications;
        ASSERT_TRUE(notifications.create(listener)) << "cycle " << cycle;
        const HWND window = notificationWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(IsWindowVisible(window));
        EXPECT_EQ(GetParent(window), nullptr) << "a top-level window, which broadcasts reach";

        int lastError = -1;
        ASSERT_TRUE(notifications.registerForDeviceNotifications(lastError)) << "cycle " << cycle;
        EXPECT_EQ(lastError, -1) << "left alone on success";
        EXPECT_TRUE(notifications.teardown()) << "cycle " << cycle;
        EXPECT_EQ(notificationWindow(), nullptr) << "cycle " << cycle;
        EXPECT_FALSE(notifications.teardown()) << "a second teardown has nothing to undo";
    }
    EXPECT_EQ(FindWindowW(WindowDeviceNotifications::ClassName, nullptr), nullptr);
    EXPECT_TRUE(listener.events.empty());
}

TEST(WindowDeviceNotifications, RegistrationWithoutAWindowFailsWithTheSystemsError)
{
    WindowDeviceNotifications notifications;
    int lastError = 0;
    EXPECT_FALSE(notifications.registerForDeviceNotifications(lastError));
    EXPECT_EQ(lastError, ERROR_INVALID_WINDOW_HANDLE);
    EXPECT_FALSE(notifications.teardown());

    RecordingListener listener;
    ASSERT_TRUE(notifications.create(listener));
    EXPECT_FALSE(notifications.create(listener)) << "one window an object";
    EXPECT_FALSE(notifications.teardown()) << "nothing was registered";
    EXPECT_EQ(notificationWindow(), nullptr);
}

} // namespace
