#pragma once

#include "platform/DeviceNotifications.h"

#include <memory>

namespace platform::linux_backend {

class LogindResumeWatcher;
class UdevHidrawMonitor;

// Device and power notifications, the Linux way: a udev monitor of hidraw
// nodes stands in for the window's device-interface registration, logind's
// PrepareForSleep for WM_POWERBROADCAST. Everything runs on the main thread
// (the monitor's QSocketNotifier, QtDBus's queued delivery); this class
// starts no thread.
//
// create() makes the monitor; registerForDeviceNotifications() starts
// receiving and subscribes to logind; teardown() undoes both and closes
// every descriptor.
class LinuxDeviceNotifications final : public DeviceNotifications
{
public:
    LinuxDeviceNotifications();
    ~LinuxDeviceNotifications() override;

    bool create(DeviceNotificationListener &listener) override;
    bool registerForDeviceNotifications(int &lastError) override;
    bool teardown() override;

    // PBT_APMSUSPEND: logind's PrepareForSleep(true).
    static constexpr int PowerSuspend = 4;

private:
    DeviceNotificationListener *listener = nullptr;
    std::unique_ptr<UdevHidrawMonitor> monitor;
    LogindResumeWatcher *resumeWatcher = nullptr; // deleted with deleteLater()
    bool registered = false;
};

} // namespace platform::linux_backend
