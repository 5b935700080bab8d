#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;
struct udev;
struct udev_monitor;

namespace platform::linux_backend {

// Hears hidraw nodes come and go: a udev monitor (subsystem hidraw) whose
// socket is read through a QSocketNotifier on the thread that calls
// startReceiving(), the main thread. The events are only triggers; the
// listener rescans the interfaces itself.
class UdevHidrawMonitor
{
public:
    enum class Action { Added, Removed };
    using Handler = std::function<void(Action)>;

    // Makes the monitor; null when udev cannot be reached (errno says why).
    static std::unique_ptr<UdevHidrawMonitor> create(Handler handler);
    ~UdevHidrawMonitor();
    UdevHidrawMonitor(const UdevHidrawMonitor &) = delete;
    UdevHidrawMonitor &operator=(const UdevHidrawMonitor &) = delete;

    // Binds the socket and starts the notifier; false with errno on failure.
    bool startReceiving();

private:
    UdevHidrawMonitor(udev *context, udev_monitor *monitor, Handler handler);
    void readEvents();

    udev *context;
    udev_monitor *monitor;
    Handler handler;
    std::unique_ptr<QSocketNotifier> notifier;
    // Cleared by the destructor, so that a handler that destroys the monitor
    // ends the delivery loop instead of running on in a freed object.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

} // namespace platform::linux_backend
