#include "StatusNotifierHost.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace status_notifier {

void askWhetherAHostIsRegistered(QObject *context, std::function<void(bool)> answer)
{
    QDBusMessage question = QDBusMessage::createMethodCall(
        WatcherService, WatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    question << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto *pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(question), context);
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, context,
                     [pending, answer = std::move(answer)] {
                         pending->deleteLater();
                         const QDBusPendingReply<QDBusVariant> reply = *pending;
                         answer(!reply.isError() && reply.value().variant().toBool());
                     });
}

} // namespace status_notifier
