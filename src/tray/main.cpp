// brivaradriver: the camera driver's tray program for Linux. It serves the
// driver's port 800 for the Tessel watchdog (and any other client), shows
// their menu items in the tray's menu and their OEM buttons in a small panel,
// and tells them of the user's clicks. See the README's section on it.
#include "TrayController.h"
#include "TrayTexts.h"
#include "protocol/ChannelAddress.h"
#include "protocol/ServicePorts.h"
#include "config/UserInterfaceController.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QLocale>
#include <QMessageBox>

#include <optional>

namespace {

constexpr int BadOptions = 2;
constexpr int CannotServe = 1;

std::optional<quint16> portOption(const QCommandLineParser &options, const QCommandLineOption &option)
{
    bool ok = false;
    const uint port = options.value(option).toUInt(&ok);
    return ok && port <= 65535 ? std::optional<quint16>(static_cast<quint16>(port)) : std::nullopt;
}

} // namespace

int main(int argc, char *argv[])
{
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
    options.process(application);
    const auto port = portOption(options, portChoice);
    if (!port) {
        qCritical().noquote() << "brivaradriver: --port needs a number from 0 to 65535";
        return BadOptions;
    }

    // The product's one language file, beside the program; main() owns it,
    // so it outlives every window that shows its texts.
    const UserInterfaceController language(UserInterfaceController::defaultLanguageFilePath(),
                                           QLocale::system().name());
    if (language.isRightToLeft())
        QApplication::setLayoutDirection(Qt::RightToLeft);
    const TrayTexts texts(&language);

    // One tray a session; the port itself allows only one on the machine.
    platform::Platform &system = platform::current();
    const auto instanceLock = system.createInstanceLock("BrivaraDriver_SingleInstanceMutex");
    switch (instanceLock->acquire()) {
    case platform::InstanceLock::Outcome::AlreadyHeld:
        qDebug() << "<main()> The tray program already runs in this session";
        QMessageBox::information(nullptr, texts.title(),
                                 texts.text(TrayTexts::Key::AlreadyRunning));
        return 0;
    case platform::InstanceLock::Outcome::Failed:
        qDebug() << "<main()> No single-instance lock; the port alone keeps a second copy out";
        break;
    case platform::InstanceLock::Outcome::Acquired:
        break;
    }

    // The user's own socket, unless a port or another socket is asked for.
    protocol::ChannelAddress address = protocol::driverChannel();
    if (options.isSet(socketChoice))
        address = protocol::ChannelAddress::localSocket(options.value(socketChoice).toStdString());
    else if (options.isSet(portChoice) || !address.isLocal())
        address = protocol::ChannelAddress::loopbackTcp(*port);
    TrayController controller(texts, address);
    // Logout, systemctl stop, Ctrl+C: the clients hear DRIVER_EXIT first.
    system.watchForSessionEnd([&controller] { controller.quit(); });
    if (!controller.start())
        return CannotServe;
    return QApplication::exec();
}
