#include "TrayHostWait.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QDebug>

namespace {
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
} // namespace

TrayHostWait::TrayHostWait(QObject *parent) : QObject(parent)
{
    patience.setSingleShot(true);
    connect(&patience, &QTimer::timeout, this, [this] {
        qDebug() << "<TrayHostWait> No StatusNotifier host came; the desktop's tray, if any, is asked as it is";
        finish();
    });
    nextQuestion.setSingleShot(true);
    connect(&nextQuestion, &QTimer::timeout, this, &TrayHostWait::askForHost);
}

void TrayHostWait::start()
{
    if (!QDBusConnection::sessionBus().isConnected()) {
        QMetaObject::invokeMethod(this, &TrayHostWait::finish, Qt::QueuedConnection);
        return;
    }
    patience.start(PatienceMilliseconds);
    askForHost();
}

void TrayHostWait::askForHost()
{
    if (done)
        return;
    QDBusMessage question = QDBusMessage::createMethodCall(
        WatcherService, WatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    question << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    auto *answer = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(question), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer] {
        answer->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *answer;
        // No watcher yet, or a watcher without a host: ask again soon.
        if (!reply.isError() && reply.value().variant().toBool())
            finish();
        else if (!done)
            nextQuestion.start(AskMilliseconds);
    });
}

void TrayHostWait::finish()
{
    if (done)
        return;
    done = true;
    patience.stop();
    nextQuestion.stop();
    emit ready();
}
