#include "TrayController.h"

// Complete for connect(): a signal argument of a pointer type needs its
// class defined (clientConnected).
#include "DriverClient.h"
#include "DesktopNotification.h"
#include "IconLibrary.h"
#include "TrayTexts.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>
#include <QSignalBlocker>

#include <cerrno>
#include <cstring>

TrayController::TrayController(const TrayTexts &trayTexts, quint16 listenPort, QObject *parent)
    : TrayController(trayTexts, protocol::ChannelAddress::loopbackTcp(listenPort), parent)
{
}

TrayController::TrayController(const TrayTexts &trayTexts, protocol::ChannelAddress listenAddress, QObject *parent)
    : QObject(parent), texts(trayTexts), address(std::move(listenAddress)), menu(trayTexts), panel(trayTexts)
{
    retry.setInterval(RetryMilliseconds);
    connect(&retry, &QTimer::timeout, this, &TrayController::retryListening);
    panelSettle.setSingleShot(true);
    panelSettle.setInterval(PanelSettleMilliseconds);
    connect(&panelSettle, &QTimer::timeout, this, [this] {
        // Shown by itself only beside a tray icon; without one it waits to
        // be asked for.
        if (icon && panel.hasButtons() && !panelHiddenByUser)
            setPanelShown(true);
    });
    goodbyeLimit.setSingleShot(true);
    connect(&goodbyeLimit, &QTimer::timeout, this, [] { QCoreApplication::exit(0); });

    connect(&server, &DriverServer::clientConnected, this, [this](DriverClient *client) {
        menu.addClient(client);
        panel.addClient(client);
    });
    connect(&server, &DriverServer::clientCountChanged, this, &TrayController::updateStatus);
    connect(&server, &DriverServer::allGone, this, [] { QCoreApplication::exit(0); });
    connect(&panel, &ButtonPanel::hasButtonsChanged, this, &TrayController::buttonsChanged);
    connect(&panel, &ButtonPanel::closedByUser, this, [this] {
        panelHiddenByUser = true;
        setPanelShown(false);
    });
    connect(menu.panelAction(), &QAction::triggered, this, [this](bool checked) {
        panelHiddenByUser = !checked;
        setPanelShown(checked);
    });
    connect(menu.quitAction(), &QAction::triggered, this, &TrayController::quit);
    connect(&hostWait, &TrayHostWait::ready, this, &TrayController::showTray);
    connect(&lateHost, &StatusNotifierHostWatch::hostArrived, this, &TrayController::useLateHost);
    trayLook.setInterval(TrayLookMilliseconds);
    connect(&trayLook, &QTimer::timeout, this, &TrayController::lookForTray);
}

TrayController::~TrayController() = default;

bool TrayController::start()
{
    if (!listen()) {
        if (!portInUse)
            return false;
        // Perhaps the tray program of another user's session, or a copy
        // that is still leaving: the port may come free.
        retry.start();
    }
    updateStatus();
    hostWait.start();
    return true;
}

void TrayController::usePortBoundEarly(int descriptor, int bindError)
{
    boundEarly = BoundEarly{descriptor, bindError};
}

DriverServer::ListenOutcome TrayController::listenOnce()
{
    if (!boundEarly)
        return server.listen(address);
    if (boundEarly->descriptor >= 0)
        return server.adopt(boundEarly->descriptor);
    switch (boundEarly->bindError) {
    case EACCES:
    case EPERM:
        return DriverServer::ListenOutcome::NoPermission;
    case EADDRINUSE:
        return DriverServer::ListenOutcome::InUse;
    default:
        return DriverServer::ListenOutcome::Failed;
    }
}

bool TrayController::listen()
{
    const DriverServer::ListenOutcome outcome = listenOnce();
    const QString where = QString::fromStdString(address.describe());
    // Once, not at every retry.
    if (outcome != DriverServer::ListenOutcome::Listening && !portInUse)
        qDebug().noquote() << "<TrayController::listen()> Cannot listen on " + where + ":"
                           << (boundEarly ? QString::fromLocal8Bit(std::strerror(boundEarly->bindError))
                                          : server.listenError());
    switch (outcome) {
    case DriverServer::ListenOutcome::Listening:
        break;
    case DriverServer::ListenOutcome::NoPermission:
        explainNoPermission();
        return false;
    case DriverServer::ListenOutcome::InUse:
        if (boundEarly) {
            // The capability that bound it is gone: no later try can work.
            qDebug().noquote() << "<TrayController::listen()> Port" << address.port
                               << "is in use by another program; start this program again once it is free";
            return false;
        }
        if (!portInUse)
            qDebug().noquote() << "<TrayController::listen()>" << (address.isLocal() ? where : "Port " + where.section(':', 1))
                               << "is in use by another program; trying again every"
                               << RetryMilliseconds / 1000 << "seconds";
        portInUse = true;
        return false;
    case DriverServer::ListenOutcome::Failed:
        return false;
    }
    portInUse = false;
    return true;
}

void TrayController::retryListening()
{
    if (listen()) {
        retry.stop();
        updateStatus();
    }
}

void TrayController::explainNoPermission()
{
    const QString program = QCoreApplication::applicationFilePath();
    qDebug().noquote() << "<TrayController::explainNoPermission()> Port" << address.port
                       << "is a privileged port, and this program may not use it: it needs the capability"
                          " cap_net_bind_service, which only an administrator can give it: sudo setcap"
                          " cap_net_bind_service+ep"
                       << program;
    QMessageBox::critical(nullptr, texts.title(), texts.text(TrayTexts::Key::NoPermission).arg(address.port).arg(program));
}

void TrayController::showTray()
{
    if (leaving)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // No window at every login: one notification says where the
        // buttons are, and the application menu's entry opens the panel
        // (a second start asks this program to show it).
        qDebug() << "<TrayController::showTray()> The desktop has no system tray; the button panel opens from the"
                    " application menu";
        DesktopNotification::show(texts.title(), texts.text(TrayTexts::Key::NoTrayNotice));
        menu.panelAction()->setVisible(false);
        panel.setStandalone(menu.menu());
        if (!panelAskedFor) {
            panelHiddenByUser = true;
            setPanelShown(false);
        }
        trayLook.start();
        lateHost.start();
        return;
    }
    icon = std::make_unique<QSystemTrayIcon>(IconLibrary::applicationIcon());
    icon->setContextMenu(menu.menu());
    connect(icon.get(), &QSystemTrayIcon::activated, this, &TrayController::trayActivated);
    updateStatus();
    icon->show();
    if (panel.hasButtons() && !panelHiddenByUser)
        setPanelShown(true);
}

void TrayController::useLateHost()
{
    if (icon || leaving)
        return;
    // Qt asked once whether the desktop shows StatusNotifierItems and keeps
    // its first answer; only a fresh start of the program asks again.
    if (boundEarly && boundEarly->descriptor >= 0) {
        qDebug() << "<TrayController::useLateHost()> A StatusNotifier host has come; the program would have to start"
                    " again to use it, and could not take its port again without its capability";
        return;
    }
    qDebug() << "<TrayController::useLateHost()> A StatusNotifier host has come; the program starts again to use it";
    restartAfterGoodbye = true;
    quit();
}

void TrayController::showPanel()
{
    if (leaving)
        return;
    panelAskedFor = true;
    panelHiddenByUser = false;
    setPanelShown(true);
    panel.activateWindow();
}

void TrayController::lookForTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    qDebug() << "<TrayController::lookForTray()> A system tray has come; the menu moves there";
    trayLook.stop();
    menu.panelAction()->setVisible(true);
    panel.setStandalone(nullptr);
    setPanelShown(panel.hasButtons() && !panelHiddenByUser);
    showTray();
}

void TrayController::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger)
        return;
    const bool show = !panel.isVisible();
    panelHiddenByUser = !show;
    setPanelShown(show);
}

void TrayController::setPanelShown(bool shown)
{
    const QSignalBlocker blocker(menu.panelAction());
    menu.panelAction()->setChecked(shown);
    if (shown) {
        panel.show();
        panel.raise();
    } else {
        panel.hide();
    }
}

void TrayController::buttonsChanged(bool hasButtons)
{
    if (hasButtons) {
        panelSettle.start();
        return;
    }
    panelSettle.stop();
    // Nothing to press (the watchdog is gone, and with it the camera): the
    // panel steps aside until buttons come back.
    if (icon)
        setPanelShown(false);
}

void TrayController::updateStatus()
{
    QString status;
    if (portInUse)
        status = address.isLocal() ? texts.text(TrayTexts::Key::PortInUse).arg(QString::fromStdString(address.path))
                                   : texts.text(TrayTexts::Key::PortInUse).arg(address.port);
    else if (server.clients().isEmpty())
        status = texts.text(TrayTexts::Key::NoProgram);
    else
        status = texts.text(TrayTexts::Key::Connected).arg(server.clients().size());
    if (icon)
        icon->setToolTip(texts.title() + QLatin1Char('\n') + status);
}

void TrayController::quit()
{
    if (leaving)
        return;
    leaving = true;
    qDebug() << "<TrayController::quit()> Leaving; DRIVER_EXIT to" << server.clients().size() << "client(s)";
    retry.stop();
    trayLook.stop();
    if (icon)
        icon->hide();
    panel.hide();
    goodbyeLimit.start(GoodbyeMilliseconds);
    server.closeAll();
}
