#pragma once

namespace platform {

// Power events that the system reports, numbered as Windows numbers them.
enum class PowerEvent : int {
    ResumeCritical = 6,
    ResumeSuspend = 7,
    ResumeStandby = 8,
    ResumeAutomatic = 18,
};

// Receives device and power notifications, always on the main thread.
class DeviceNotificationListener
{
public:
    virtual ~DeviceNotificationListener() = default;

    // A HID interface arrived. deviceInterface is false when the system
    // reported the arrival of something other than a device interface.
    virtual void deviceArrived(bool deviceInterface) = 0;
    // A device was removed.
    virtual void deviceRemoved() = 0;
    // A power event; `event` is one of PowerEvent or another system value.
    virtual void powerEvent(int event) = 0;
};

// The hidden source of device-change and power notifications (a hidden
// window on Windows). It must be created and used on the main thread.
class DeviceNotifications
{
public:
    virtual ~DeviceNotifications() = default;

    // Creates the source (the window). False when it cannot be created.
    virtual bool create(DeviceNotificationListener &listener) = 0;
    // Registers for HID interface notifications. On failure returns false
    // and sets lastError to the system's error number.
    virtual bool registerForDeviceNotifications(int &lastError) = 0;
    // Undoes the registration and destroys the source. True when a
    // registration was held and has been undone.
    virtual bool teardown() = 0;
};

} // namespace platform
