#pragma once

#include <QObject>
#include <QTimer>

class QDBusServiceWatcher;

// Qt decides once, when a program first asks for a tray, whether the desktop
// shows StatusNotifierItems over D-Bus (KDE; GNOME with the AppIndicator
// extension) or XEmbed icons, and keeps that answer. A tray program that the
// session starts before the desktop's tray host is up would stay without an
// icon for good. So, when there is a session bus but no StatusNotifier
// watcher on it yet, the icon waits for the watcher a while; without a bus,
// or with the watcher there, it is ready at once.
class TrayHostWait : public QObject
{
    Q_OBJECT

public:
    static constexpr int PatienceMilliseconds = 10000;

    explicit TrayHostWait(QObject *parent = nullptr);

    // ready() follows, at once (queued) or when the watcher comes or the
    // patience runs out; once.
    void start();

signals:
    void ready();

private:
    void finish();

    QDBusServiceWatcher *watcher = nullptr;
    QTimer patience;
    bool done = false;
};
