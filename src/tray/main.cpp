// brivaradriver: the camera driver's tray program for Linux. It serves the
// driver's channel for the Tessel watchdog (and any other client), shows
// their menu items in the tray's menu and their OEM buttons in a small panel,
// and tells them of the user's clicks. See the README's section on it.
#include "PortPrivilege.h"
#include "TrayBusService.h"
#include "TrayController.h"
#include "TrayTexts.h"
#include "protocol/ChannelAddress.h"
#include "protocol/ChannelMode.h"
#include "protocol/ServicePorts.h"
#include "config/UserInterfaceController.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QLocale>
#include <QMessageBox>

#include <unistd.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr int BadOptions = 2;
constexpr int CannotServe = 1;

std::optional<quint16> portOption(const QCommandLineParser &options, const QCommandLineOption &option)
{
    bool ok = false;
    const uint port = options.value(option).toUInt(&ok);
    return ok && port <= 65535 ? std::optional<quint16>(static_cast<quint16>(port)) : std::nullopt;
}

// Before anything of the user's choosing is loaded, and before Qt starts a
// thread: a program that an administrator gave a capability binds the
// driver's TCP port with it (only in TCP mode) and gives up every
// capability. False when it could not give them all up.
bool settlePrivilege(std::optional<PortPrivilege::Outcome> &boundEarly)
{
    if (!PortPrivilege::isHeld())
        return true;
    QString why;
    if (protocol::loopbackTcpRequested()) {
        boundEarly = PortPrivilege::bindThenGiveUp(ServicePorts::DriverPort);
        why = boundEarly->dropError;
    } else {
        // A Unix socket in the user's own folder needs no privilege.
        PortPrivilege::giveUpInOnlyThread(why);
    }
    if (!why.isEmpty()) {
        qDebug().noquote() << "<main()> Could not give up the program's capabilities, so it does not run:" << why;
        return false;
    }
    qDebug() << "<main()> The program's capabilities are given up";
    return true;
}

// The command line as started, for a restart: QApplication takes its own
// options out of argv.
std::vector<std::string> commandLine(int argc, char *argv[])
{
    return {argv, argv + argc};
}

[[noreturn]] void restart(const std::vector<std::string> &arguments)
{
    std::vector<char *> pointers;
    for (const std::string &argument : arguments)
        pointers.push_back(const_cast<char *>(argument.c_str()));
    pointers.push_back(nullptr);
    ::execv("/proc/self/exe", pointers.data());
    qDebug().noquote() << "<main()> Could not start again:" << QString::fromLocal8Bit(std::strerror(errno));
    ::_exit(CannotServe);
}

} // namespace

int main(int argc, char *argv[])
{
    std::optional<PortPrivilege::Outcome> boundEarly;
    if (!settlePrivilege(boundEarly))
        return CannotServe;
    const std::vector<std::string> arguments = commandLine(argc, argv);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("brivaradriver"));
    QGuiApplication::setDesktopFileName(QStringLiteral("com.brivara.TesselTray"));
    // The panel may close; the program lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("The Brivara Tessel tray program: the camera driver's menu and buttons for the Tessel watchdog."));
    options.addHelpOption();
    const QCommandLineOption portChoice(QStringLiteral("port"),
                                        QStringLiteral("Serve on this TCP port of the loopback address (800 when"
                                                       " TESSEL_LOOPBACK_TCP=1) instead of the user's own socket."),
                                        QStringLiteral("number"), QString::number(ServicePorts::DriverPort));
    options.addOption(portChoice);
    const QCommandLineOption socketChoice(QStringLiteral("socket"),
                                          QStringLiteral("Serve on this Unix socket instead of driver.sock in the"
                                                         " user's runtime folder."),
                                          QStringLiteral("path"));
    options.addOption(socketChoice);
    const QCommandLineOption panelChoice(QStringLiteral("panel"),
                                         QStringLiteral("Show the button panel (the application menu's entry)."));
    options.addOption(panelChoice);
    options.process(application);
    auto port = portOption(options, portChoice);
    if (!port) {
        qCritical().noquote() << "brivaradriver: --port needs a number from 0 to 65535";
        return BadOptions;
    }
    if (boundEarly) {
        // The capability was given for the driver's port, not for any other
        // privileged port a user might name.
        if (options.isSet(portChoice) && *port != ServicePorts::DriverPort)
            qDebug() << "<main()> --port is ignored: with its capability the program serves only port"
                     << ServicePorts::DriverPort;
        port = ServicePorts::DriverPort;
    }

    // The product's one language file, beside the program; main() owns it,
    // so it outlives every window that shows its texts.
    const UserInterfaceController language(UserInterfaceController::defaultLanguageFilePath(),
                                           QLocale::system().name());
    if (language.isRightToLeft())
        QApplication::setLayoutDirection(Qt::RightToLeft);
    const TrayTexts texts(&language);

    // One tray a session. A second start (the application menu's entry, a
    // double start by the session) shows the running one's panel.
    platform::Platform &system = platform::current();
    const auto instanceLock = system.createInstanceLock("BrivaraDriver_SingleInstanceMutex");
    switch (instanceLock->acquire()) {
    case platform::InstanceLock::Outcome::AlreadyHeld:
        qDebug() << "<main()> The tray program already runs in this session";
        TrayBusService::askRunningToShowPanel([&texts](bool shown) {
            if (shown)
                qDebug() << "<main()> Its button panel is shown";
            else
                QMessageBox::information(nullptr, texts.title(), texts.text(TrayTexts::Key::AlreadyRunning));
            QCoreApplication::exit(0);
        });
        return QApplication::exec();
    case platform::InstanceLock::Outcome::Failed:
        qDebug() << "<main()> No single-instance lock; the channel alone keeps a second copy out";
        break;
    case platform::InstanceLock::Outcome::Acquired:
        break;
    }

    // The user's own socket, unless a port or another socket is asked for.
    protocol::ChannelAddress address = protocol::driverChannel();
    if (boundEarly)
        address = protocol::ChannelAddress::loopbackTcp(ServicePorts::DriverPort);
    else if (options.isSet(socketChoice))
        address = protocol::ChannelAddress::localSocket(options.value(socketChoice).toStdString());
    else if (options.isSet(portChoice) || !address.isLocal())
        address = protocol::ChannelAddress::loopbackTcp(*port);
    TrayController controller(texts, address);
    if (boundEarly)
        controller.usePortBoundEarly(boundEarly->descriptor, boundEarly->bindError);
    // Logout, systemctl stop, Ctrl+C: the clients hear DRIVER_EXIT first.
    system.watchForSessionEnd([&controller] { controller.quit(); });
    TrayBusService bus;
    QObject::connect(&bus, &TrayBusService::showPanelRequested, &controller, &TrayController::showPanel);
    if (!controller.start())
        return CannotServe;
    bus.publish();
    if (options.isSet(panelChoice))
        controller.showPanel();
    const int status = QApplication::exec();
    if (controller.restartRequested())
        restart(arguments);
    return status;
}
