#include "TrayHostWait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QDebug>

namespace {
const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
} // namespace

TrayHostWait::TrayHostWait(QObject *parent) : QObject(parent)
{
    patience.setSingleShot(true);
    connect(&patience, &QTimer::timeout, this, &TrayHostWait::finish);
}

void TrayHostWait::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    const bool waitForWatcher = bus.isConnected() && bus.interface()
                                && !bus.interface()->isServiceRegistered(WatcherService).value();
    if (!waitForWatcher) {
        QMetaObject::invokeMethod(this, &TrayHostWait::finish, Qt::QueuedConnection);
        return;
    }
    qDebug() << "<TrayHostWait::start()> No StatusNotifier watcher on the session bus yet; waiting up to"
             << PatienceMilliseconds << "ms";
    watcher = new QDBusServiceWatcher(WatcherService, bus, QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this, &TrayHostWait::finish);
    patience.start(PatienceMilliseconds);
}

void TrayHostWait::finish()
{
    if (done)
        return;
    done = true;
    patience.stop();
    emit ready();
}
