#include "LogindResumeWatcher.h"

#include "LinuxLog.h"

#include <QDBusConnection>
#include <QDBusError>

#include <atomic>

namespace platform::linux_backend {

namespace {
const QString Service = QStringLiteral("org.freedesktop.login1");
const QString Path = QStringLiteral("/org/freedesktop/login1");
const QString Interface = QStringLiteral("org.freedesktop.login1.Manager");

QString uniqueConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("tessel-logind-%1").arg(++counter);
}
} // namespace

LogindResumeWatcher::LogindResumeWatcher(std::function<void(bool)> handler)
    : handler(std::move(handler)), connectionName(uniqueConnectionName())
{
    // libdbus reads DBUS_SYSTEM_BUS_ADDRESS once per process; reading it
    // here lets every registration follow it (tests bring their own bus).
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    QDBusConnection bus = address.isEmpty()
                              ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, connectionName)
                              : QDBusConnection::connectToBus(QString::fromUtf8(address), connectionName);
    if (!bus.isConnected()) {
        qCInfo(linuxPlatformLog) << "logind: no system bus, so no resume events:"
                                 << bus.lastError().message();
        return;
    }
    isSubscribed = bus.connect(Service, Path, Interface, QStringLiteral("PrepareForSleep"), this,
                               SLOT(prepareForSleep(bool)));
    if (!isSubscribed)
        qCInfo(linuxPlatformLog) << "logind: cannot subscribe to PrepareForSleep:"
                                 << bus.lastError().message();
}

LogindResumeWatcher::~LogindResumeWatcher()
{
    close();
}

void LogindResumeWatcher::close()
{
    if (closed)
        return;
    closed = true;
    {
        QDBusConnection bus(connectionName);
        if (isSubscribed)
            bus.disconnect(Service, Path, Interface, QStringLiteral("PrepareForSleep"), this,
                           SLOT(prepareForSleep(bool)));
    }
    isSubscribed = false;
    QDBusConnection::disconnectFromBus(connectionName);
}

void LogindResumeWatcher::prepareForSleep(bool start)
{
    if (!closed)
        handler(start);
}

} // namespace platform::linux_backend
