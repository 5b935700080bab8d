// The Win32 backend of the platform layer.
#include "platform/Platform.h"

#include "DirectShowVideoDevices.h"
#include "MutexInstanceLock.h"
#include "Win32Hid.h"
#include "Win32Modules.h"
#include "Win32Processes.h"
#include "Win32SessionEnd.h"
#include "WindowDeviceNotifications.h"
#include "WinmmSound.h"

namespace platform {

namespace {

class Win32Platform final : public Platform
{
public:
    Processes &processes() override { return processList; }
    Hid &hid() override { return hidInterfaces; }
    VideoDevices &videoDevices() override { return video; }
    Modules &modules() override { return loader; }
    Sound &sound() override { return player; }

    std::unique_ptr<InstanceLock> createInstanceLock(const std::string &name) override
    {
        return std::make_unique<win32_backend::MutexInstanceLock>(name);
    }

    std::unique_ptr<DeviceNotifications> createDeviceNotifications() override
    {
        return std::make_unique<win32_backend::WindowDeviceNotifications>();
    }

    void watchForSessionEnd(std::function<void()> onRequest) override
    {
        sessionEnd.watch(std::move(onRequest));
    }

    bool sessionEndRequested() override { return win32_backend::Win32SessionEnd::requested(); }

    bool waitUnlessSessionEnds(int milliseconds) override
    {
        return win32_backend::Win32SessionEnd::waitUnlessRequested(static_cast<DWORD>(milliseconds));
    }

    // No service manager restarts the program on Windows: it starts its
    // fresh copy itself.
    bool serviceManagerRestarts() override { return false; }

private:
    win32_backend::Win32Processes processList;
    win32_backend::Win32Hid hidInterfaces;
    win32_backend::DirectShowVideoDevices video;
    win32_backend::Win32Modules loader;
    win32_backend::WinmmSound player;
    win32_backend::Win32SessionEnd sessionEnd;
};

} // namespace

Platform &backend()
{
    static Win32Platform platform;
    return platform;
}

// Windows plays through the multimedia library the system always has.
void useSoundPlayer(Sound *)
{
}

} // namespace platform
