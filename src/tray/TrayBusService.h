#pragma once

#include <QObject>

#include <functional>

// The running tray program on the session bus, as com.brivara.TesselTray:
// a second start (the application menu's entry, on a desktop whose tray
// shows no icon) asks it to show its button panel, rather than showing a
// box of its own.
class TrayBusService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.brivara.TesselTray")

public:
    static const QString ServiceName;
    static const QString ObjectPath;

    explicit TrayBusService(QObject *parent = nullptr);
    ~TrayBusService() override;

    // Takes the name on the session bus; without a bus there is nothing to
    // take, and a second start shows its box instead.
    void publish();

    // From a second start: asks the running program, without waiting for
    // it; `done` follows on the main thread, with false when nobody answered.
    static void askRunningToShowPanel(std::function<void(bool shown)> done);

public slots:
    Q_SCRIPTABLE void ShowPanel();

signals:
    void showPanelRequested();

private:
    bool published = false;
};
