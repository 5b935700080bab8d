#include "TrayController.h"

// Complete for connect(): a signal argument of a pointer type needs its
// class defined (clientConnected).
#include "DriverClient.h"
#include "IconLibrary.h"
#include "PortPrivilege.h"
#include "TrayTexts.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QMessageBox>
#include <QSignalBlocker>

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
        if (panel.hasButtons() && !panelHiddenByUser)
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

bool TrayController::listen()
{
    const DriverServer::ListenOutcome outcome = server.listen(address);
    const QString where = QString::fromStdString(address.describe());
    // Once, not at every retry.
    if (outcome != DriverServer::ListenOutcome::Listening && !portInUse)
        qDebug().noquote() << "<TrayController::listen()> Cannot listen on " + where + ":" << server.listenError();
    switch (outcome) {
    case DriverServer::ListenOutcome::Listening:
        break;
    case DriverServer::ListenOutcome::NoPermission:
        explainNoPermission();
        return false;
    case DriverServer::ListenOutcome::InUse:
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
    QString why;
    if (!PortPrivilege::giveUp(why))
        qDebug().noquote() << "<TrayController::listen()> Could not give up the capabilities:" << why;
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
                          " cap_net_bind_service, which its package gives it. To give it by hand: sudo setcap"
                          " cap_net_bind_service+ep"
                       << program;
    QMessageBox::critical(nullptr, texts.title(), texts.text(TrayTexts::Key::NoPermission).arg(address.port).arg(program));
}

void TrayController::showTray()
{
    if (leaving)
        return;
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qDebug() << "<TrayController::showTray()> The desktop has no system tray; the button panel stands alone";
        menu.panelAction()->setVisible(false);
        panel.setStandalone(menu.menu());
        setPanelShown(true);
        trayLook.start();
        return;
    }
    icon = std::make_unique<QSystemTrayIcon>(IconLibrary::applicationIcon());
    icon->setContextMenu(menu.menu());
    connect(icon.get(), &QSystemTrayIcon::activated, this, &TrayController::trayActivated);
    updateStatus();
    icon->show();
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
