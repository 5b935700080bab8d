#include "UdevHidrawMonitor.h"

#include "LinuxLog.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <cerrno>
#include <cstring>

namespace platform::linux_backend {

std::unique_ptr<UdevHidrawMonitor> UdevHidrawMonitor::create(Handler handler)
{
    udev *context = udev_new();
    if (!context) {
        if (errno == 0)
            errno = ENOMEM;
        return nullptr;
    }
    udev_monitor *monitor = udev_monitor_new_from_netlink(context, "udev");
    if (!monitor) {
        const int error = errno ? errno : ENOMEM;
        udev_unref(context);
        errno = error;
        return nullptr;
    }
    const int filtered = udev_monitor_filter_add_match_subsystem_devtype(monitor, "hidraw", nullptr);
    if (filtered < 0) {
        udev_monitor_unref(monitor);
        udev_unref(context);
        errno = -filtered;
        return nullptr;
    }
    return std::unique_ptr<UdevHidrawMonitor>(new UdevHidrawMonitor(context, monitor, std::move(handler)));
}

UdevHidrawMonitor::UdevHidrawMonitor(udev *context, udev_monitor *monitor, Handler handler)
    : context(context), monitor(monitor), handler(std::move(handler))
{
}

UdevHidrawMonitor::~UdevHidrawMonitor()
{
    *alive = false;
    if (notifier) {
        // Disabled before its socket closes; deleted later, as this may run
        // inside the notifier's own activated() signal.
        notifier->setEnabled(false);
        notifier.release()->deleteLater();
    }
    udev_monitor_unref(monitor);
    udev_unref(context);
}

bool UdevHidrawMonitor::startReceiving()
{
    if (notifier)
        return true;
    const int result = udev_monitor_enable_receiving(monitor);
    if (result < 0) {
        errno = -result;
        return false;
    }
    notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor), QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(),
                     [this] { readEvents(); });
    return true;
}

void UdevHidrawMonitor::readEvents()
{
    const std::shared_ptr<bool> stillAlive = alive;
    // The socket is non-blocking: take every event that is queued.
    while (udev_device *device = udev_monitor_receive_device(monitor)) {
        const char *action = udev_device_get_action(device);
        const bool added = action && std::strcmp(action, "add") == 0;
        const bool removed = action && std::strcmp(action, "remove") == 0;
        udev_device_unref(device);
        if (added || removed)
            handler(added ? Action::Added : Action::Removed);
        if (!*stillAlive)
            return;
    }
}

} // namespace platform::linux_backend
