#include "LinuxDeviceNotifications.h"

namespace platform::linux_backend {

// Placeholder until the udev and logind sources land: no notification ever
// arrives.
bool LinuxDeviceNotifications::create(DeviceNotificationListener &newListener)
{
    listener = &newListener;
    return true;
}

bool LinuxDeviceNotifications::registerForDeviceNotifications(int &)
{
    registered = true;
    return true;
}

bool LinuxDeviceNotifications::teardown()
{
    const bool wasRegistered = registered;
    registered = false;
    listener = nullptr;
    return wasRegistered;
}

} // namespace platform::linux_backend
