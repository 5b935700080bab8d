#include "LinuxDeviceNotifications.h"

#include "LinuxLog.h"
#include "LogindResumeWatcher.h"
#include "UdevHidrawMonitor.h"

#include <cerrno>
#include <cstring>

namespace platform::linux_backend {

LinuxDeviceNotifications::LinuxDeviceNotifications() = default;

LinuxDeviceNotifications::~LinuxDeviceNotifications()
{
    teardown();
}

bool LinuxDeviceNotifications::create(DeviceNotificationListener &newListener)
{
    listener = &newListener;
    if (monitor)
        return true; // one source per object, as there is one window per server
    monitor = UdevHidrawMonitor::create([this](UdevHidrawMonitor::Action action) {
        if (action == UdevHidrawMonitor::Action::Added)
            listener->deviceArrived(true);
        else
            listener->deviceRemoved();
    });
    if (!monitor) {
        qCWarning(linuxPlatformLog) << "udev: cannot create a monitor:" << std::strerror(errno);
        listener = nullptr;
        return false;
    }
    return true;
}

bool LinuxDeviceNotifications::registerForDeviceNotifications(int &lastError)
{
    if (!monitor) {
        lastError = EBADF; // like registering a window that does not exist
        return false;
    }
    if (!monitor->startReceiving()) {
        lastError = errno;
        qCWarning(linuxPlatformLog) << "udev: cannot receive events:" << std::strerror(lastError);
        return false;
    }
    if (!resumeWatcher) {
        resumeWatcher = new LogindResumeWatcher([this](bool sleeping) {
            listener->powerEvent(sleeping ? PowerSuspend : static_cast<int>(PowerEvent::ResumeSuspend));
        });
    }
    registered = true;
    return true;
}

bool LinuxDeviceNotifications::teardown()
{
    const bool wasRegistered = registered;
    registered = false;
    // Both may be inside their own callbacks here (a listener that tears
    // down on removal): each lets go of its descriptors at once and of its
    // Qt objects through deleteLater().
    if (resumeWatcher) {
        resumeWatcher->close();
        resumeWatcher->deleteLater();
        resumeWatcher = nullptr;
    }
    monitor.reset();
    listener = nullptr;
    return wasRegistered;
}

} // namespace platform::linux_backend
