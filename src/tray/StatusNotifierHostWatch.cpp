#include "StatusNotifierHostWatch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace {
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
} // namespace

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
    QDBusMessage question = QDBusMessage::createMethodCall(
        WatcherService, WatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    question << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto *answer = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(question), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer] {
        answer->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *answer;
        if (arrived || reply.isError() || !reply.value().variant().toBool())
            return;
        arrived = true;
        emit hostArrived();
    });
}
