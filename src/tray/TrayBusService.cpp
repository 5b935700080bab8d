#include "TrayBusService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDebug>

const QString TrayBusService::ServiceName = QStringLiteral("com.brivara.TesselTray");
const QString TrayBusService::ObjectPath = QStringLiteral("/com/brivara/TesselTray");

namespace {
// A running tray answers at once; a hung one must not keep a second start
// waiting for long.
constexpr int AnswerMilliseconds = 3000;
} // namespace

TrayBusService::TrayBusService(QObject *parent) : QObject(parent) {}

TrayBusService::~TrayBusService()
{
    if (!published)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(ObjectPath);
    bus.unregisterService(ServiceName);
}

void TrayBusService::publish()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    if (!bus.registerObject(ObjectPath, this, QDBusConnection::ExportScriptableSlots)
        || !bus.registerService(ServiceName)) {
        qDebug().noquote() << "<TrayBusService::publish()> Not on the session bus as" << ServiceName + ":"
                           << bus.lastError().message();
        bus.unregisterObject(ObjectPath);
        return;
    }
    published = true;
}

void TrayBusService::ShowPanel()
{
    emit showPanelRequested();
}

void TrayBusService::askRunningToShowPanel(std::function<void(bool shown)> done)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        QMetaObject::invokeMethod(qApp, [done] { done(false); }, Qt::QueuedConnection);
        return;
    }
    const QDBusMessage call =
        QDBusMessage::createMethodCall(ServiceName, ObjectPath, ServiceName, QStringLiteral("ShowPanel"));
    auto *answer = new QDBusPendingCallWatcher(bus.asyncCall(call, AnswerMilliseconds), qApp);
    QObject::connect(answer, &QDBusPendingCallWatcher::finished, qApp, [answer, done] {
        answer->deleteLater();
        if (answer->isError())
            qDebug().noquote() << "<TrayBusService::askRunningToShowPanel()> The running tray program did not answer:"
                               << answer->error().message();
        done(!answer->isError());
    });
}
