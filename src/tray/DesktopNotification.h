#pragma once

#include <QString>

// A desktop notification (org.freedesktop.Notifications on the session bus),
// sent without waiting for an answer. Where nothing shows notifications the
// log line that goes with it is all there is.
class DesktopNotification
{
public:
    // The icon and the entry named are the tray program's own, so that the
    // desktop can offer to open it from the notification.
    static void show(const QString &summary, const QString &body);
};
