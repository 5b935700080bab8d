#pragma once

#include "platform/DeviceNotifications.h"

namespace platform::linux_backend {

// Device and power notifications: udev for HID arrivals and removals, logind
// for resume.
class LinuxDeviceNotifications final : public DeviceNotifications
{
public:
    bool create(DeviceNotificationListener &listener) override;
    bool registerForDeviceNotifications(int &lastError) override;
    bool teardown() override;

private:
    DeviceNotificationListener *listener = nullptr;
    bool registered = false;
};

} // namespace platform::linux_backend
