#pragma once

#include "ButtonPanel.h"
#include "DriverServer.h"
#include "StatusNotifierHostWatch.h"
#include "TrayHostWait.h"
#include "TrayMenu.h"

#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>
#include <optional>

class TrayTexts;

// The tray program as the user meets it: the driver's port, the tray icon
// with its menu, and the button panel, tied together. It also says why when
// the port cannot be had, and leaves politely (DRIVER_EXIT to every client).
class TrayController : public QObject
{
    Q_OBJECT

public:
    // Like the watchdog's own reconnection period.
    static constexpr int RetryMilliseconds = 10000;
    // A client registers its buttons in a quick burst; the panel shows up
    // once it is over, at its full size.
    static constexpr int PanelSettleMilliseconds = 400;
    // How long the goodbyes may take before the program leaves anyway.
    static constexpr int GoodbyeMilliseconds = 2000;
    // How often a desktop without a tray is asked again: a panel that holds
    // the tray may start after this program, or come back after a crash.
    static constexpr int TrayLookMilliseconds = 2000;

    TrayController(const TrayTexts &texts, protocol::ChannelAddress address, QObject *parent = nullptr);
    // On a loopback TCP port.
    TrayController(const TrayTexts &texts, quint16 port, QObject *parent = nullptr);
    ~TrayController() override;

    // The driver's privileged TCP port was bound before the program gave up
    // its capability (see PortPrivilege): serve that socket, or report its
    // bind error, instead of binding now. Before start().
    void usePortBoundEarly(int descriptor, int bindError);
    // Starts serving. False when the program cannot go on; it has said why
    // (a log line, and a message box for the user).
    bool start();
    // Says goodbye to the clients, then ends the event loop with 0.
    void quit();

    // Shows the button panel and brings it to the front (a second start of
    // the program, the application menu's entry).
    void showPanel();
    // The event loop ended so that the program starts again: a tray host
    // came after Qt had settled without one.
    bool restartRequested() const { return restartAfterGoodbye; }

    DriverServer &driverServer() { return server; }
    TrayMenu &trayMenu() { return menu; }
    ButtonPanel &buttonPanel() { return panel; }

private:
    bool listen();
    DriverServer::ListenOutcome listenOnce();
    void retryListening();
    void showTray();
    void lookForTray();
    void useLateHost();
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    void setPanelShown(bool shown);
    void buttonsChanged(bool hasButtons);
    void updateStatus();
    void explainNoPermission();

    const TrayTexts &texts;
    protocol::ChannelAddress address;
    DriverServer server;
    TrayMenu menu;
    ButtonPanel panel;
    TrayHostWait hostWait;
    StatusNotifierHostWatch lateHost;
    std::unique_ptr<QSystemTrayIcon> icon;
    QTimer retry;
    QTimer panelSettle;
    QTimer goodbyeLimit;
    QTimer trayLook;
    struct BoundEarly
    {
        int descriptor;
        int bindError;
    };
    std::optional<BoundEarly> boundEarly;
    bool portInUse = false;
    bool panelHiddenByUser = false;
    bool leaving = false;
    bool panelAskedFor = false;
    bool restartAfterGoodbye = false;
};
