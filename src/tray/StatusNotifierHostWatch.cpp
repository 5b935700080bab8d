#include "StatusNotifierHostWatch.h"

#include "StatusNotifierHost.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>

using status_notifier::WatcherPath;
using status_notifier::WatcherService;

StatusNotifierHostWatch::StatusNotifierHostWatch(QObject *parent) : QObject(parent) {}

void StatusNotifierHostWatch::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (started || !bus.isConnected())
        return;
    started = true;
    auto *names = new QDBusServiceWatcher(WatcherService, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(names, &QDBusServiceWatcher::serviceRegistered, this, &StatusNotifierHostWatch::askForHost);
    bus.connect(WatcherService, WatcherPath, WatcherService, QStringLiteral("StatusNotifierHostRegistered"), this,
                SLOT(askForHost()));
    // One may have come since the program last asked.
    askForHost();
}

void StatusNotifierHostWatch::askForHost()
{
    if (arrived)
        return;
    status_notifier::askWhetherAHostIsRegistered(this, [this](bool registered) {
        if (arrived || !registered)
            return;
        arrived = true;
        emit hostArrived();
    });
}
