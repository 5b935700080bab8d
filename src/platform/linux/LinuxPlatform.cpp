// The Linux backend of the platform layer.
#include "platform/Platform.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "DlModules.h"
#include "FileInstanceLock.h"
#include "LinuxDeviceNotifications.h"
#include "LinuxHid.h"
#include "LinuxProcesses.h"
#include "LinuxSessionEnd.h"
#include "LinuxVideoDevices.h"

namespace platform {

namespace {

// Plays through the player the program handed in, or not at all.
class HandedInSound final : public Sound
{
public:
    void play(const std::string &path) override
    {
        if (Sound *handedIn = player.load(std::memory_order_acquire))
            handedIn->play(path);
    }

    std::atomic<Sound *> player{nullptr};
};

class LinuxPlatform final : public Platform
{
public:
    Processes &processes() override { return processList; }
    Hid &hid() override { return hidInterfaces; }
    VideoDevices &videoDevices() override { return video; }
    Modules &modules() override { return loader; }
    Sound &sound() override { return handedInSound; }
    void useSoundPlayer(Sound *player) { handedInSound.player.store(player, std::memory_order_release); }

    std::unique_ptr<InstanceLock> createInstanceLock(const std::string &name) override
    {
        return std::make_unique<linux_backend::FileInstanceLock>(name);
    }

    std::unique_ptr<DeviceNotifications> createDeviceNotifications() override
    {
        return std::make_unique<linux_backend::LinuxDeviceNotifications>();
    }

    void watchForSessionEnd(std::function<void()> onRequest) override
    {
        sessionEnd.watch(std::move(onRequest));
    }

    bool sessionEndRequested() override { return linux_backend::LinuxSessionEnd::requested(); }

    bool serviceManagerRestarts() override
    {
        const char *supervised = std::getenv("TESSEL_WATCHDOG_SUPERVISED");
        return supervised && *supervised && std::string(supervised) != "0";
    }

private:
    linux_backend::LinuxProcesses processList;
    linux_backend::LinuxHid hidInterfaces;
    linux_backend::LinuxVideoDevices video;
    linux_backend::DlModules loader;
    HandedInSound handedInSound;
    linux_backend::LinuxSessionEnd sessionEnd;
};

LinuxPlatform &linuxBackend()
{
    static LinuxPlatform platform;
    return platform;
}

} // namespace

Platform &backend()
{
    return linuxBackend();
}

void useSoundPlayer(Sound *player)
{
    linuxBackend().useSoundPlayer(player);
}

} // namespace platform
