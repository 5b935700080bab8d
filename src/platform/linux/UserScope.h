#pragma once

#include <QDBusConnection>
#include <QString>

#include <sys/types.h>

#include <string>

namespace platform::linux_backend {

// A program the watchdog starts for the user (the viewer) belongs to the
// user, not to the watchdog's service: it moves into a transient scope unit
// of its own in the user's systemd, the way `systemd-run --user --scope`
// does, so that the service manager never ends it with the watchdog, and
// the desktop sees it as an application of its own.
class UserScope
{
public:
    // Creates "tessel-<name>-<pid>.scope" holding `pid` through the user's
    // systemd on `bus`, and waits a little for its start to finish. Blocks
    // for as long as the bus takes: never from the main thread. False, with
    // the reason, when there is no user systemd to ask (no session bus, a
    // session without systemd, a container).
    static bool place(pid_t pid, const std::string &name, QString &why,
                      QDBusConnection bus = QDBusConnection::sessionBus());

    static QString unitName(pid_t pid, const std::string &name);
};

} // namespace platform::linux_backend
