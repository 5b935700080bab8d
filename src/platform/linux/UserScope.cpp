#include "UserScope.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QList>

#include <chrono>
#include <thread>

namespace {

const QString Systemd = QStringLiteral("org.freedesktop.systemd1");
const QString ManagerPath = QStringLiteral("/org/freedesktop/systemd1");
const QString ManagerInterface = QStringLiteral("org.freedesktop.systemd1.Manager");

// A bus that answers, and a systemd that does, take milliseconds; a hung
// one must not hold the start of the viewer for long.
constexpr int CallMilliseconds = 2000;
// How long the scope's start job may take before the program runs anyway.
constexpr auto JobPatience = std::chrono::milliseconds(1000);
constexpr auto JobPoll = std::chrono::milliseconds(5);

// One (sv) of StartTransientUnit's properties.
struct UnitProperty
{
    QString name;
    QDBusVariant value;
};

// One (sa(sv)) of its auxiliary units; none are sent.
struct AuxiliaryUnit
{
    QString name;
    QList<UnitProperty> properties;
};

QDBusArgument &operator<<(QDBusArgument &argument, const UnitProperty &property)
{
    argument.beginStructure();
    argument << property.name << property.value;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, UnitProperty &property)
{
    argument.beginStructure();
    argument >> property.name >> property.value;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const AuxiliaryUnit &unit)
{
    argument.beginStructure();
    argument << unit.name << unit.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, AuxiliaryUnit &unit)
{
    argument.beginStructure();
    argument >> unit.name >> unit.properties;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(UnitProperty)
Q_DECLARE_METATYPE(AuxiliaryUnit)

namespace platform::linux_backend {

namespace {

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<UnitProperty>();
        qDBusRegisterMetaType<QList<UnitProperty>>();
        qDBusRegisterMetaType<AuxiliaryUnit>();
        qDBusRegisterMetaType<QList<AuxiliaryUnit>>();
        return true;
    }();
    (void)registered;
}

// systemd-run waits for the job to finish before the program runs; the job
// object is gone from the bus once it has.
void waitForJob(QDBusConnection &bus, const QString &job)
{
    const auto giveUp = std::chrono::steady_clock::now() + JobPatience;
    while (std::chrono::steady_clock::now() < giveUp) {
        QDBusMessage question = QDBusMessage::createMethodCall(
            Systemd, job, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        question << QStringLiteral("org.freedesktop.systemd1.Job") << QStringLiteral("State");
        if (bus.call(question, QDBus::Block, CallMilliseconds).type() == QDBusMessage::ErrorMessage)
            return;
        std::this_thread::sleep_for(JobPoll);
    }
}

} // namespace

QString UserScope::unitName(pid_t pid, const std::string &name)
{
    // Unit names allow [A-Za-z0-9:_.\-]; anything else becomes '_'.
    QString cleaned;
    for (const QChar c : QString::fromStdString(name))
        cleaned += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('_') || c == QLatin1Char('-')
                       ? c
                       : QLatin1Char('_');
    return QStringLiteral("tessel-%1-%2.scope").arg(cleaned).arg(pid);
}

bool UserScope::place(pid_t pid, const std::string &name, QString &why, QDBusConnection bus)
{
    if (!bus.isConnected()) {
        why = QStringLiteral("no session bus");
        return false;
    }
    registerTypes();
    const QList<UnitProperty> properties{
        {QStringLiteral("Description"), QDBusVariant(QString::fromStdString(name) + QStringLiteral(", started by the Tessel watchdog"))},
        {QStringLiteral("PIDs"), QDBusVariant(QVariant::fromValue(QList<uint>{static_cast<uint>(pid)}))},
    };
    QDBusMessage start =
        QDBusMessage::createMethodCall(Systemd, ManagerPath, ManagerInterface, QStringLiteral("StartTransientUnit"));
    start << unitName(pid, name) << QStringLiteral("fail") << QVariant::fromValue(properties)
          << QVariant::fromValue(QList<AuxiliaryUnit>{});
    // A session without systemd must not have one started for this.
    start.setAutoStartService(false);
    const QDBusMessage answer = bus.call(start, QDBus::Block, CallMilliseconds);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
        why = answer.errorMessage().isEmpty() ? answer.errorName() : answer.errorMessage();
        return false;
    }
    waitForJob(bus, qvariant_cast<QDBusObjectPath>(answer.arguments().first()).path());
    return true;
}

} // namespace platform::linux_backend
