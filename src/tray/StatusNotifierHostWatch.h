#pragma once

#include <QObject>

// Tells when a StatusNotifier host shows up on the session bus after the
// program settled without a tray: the desktop's tray started late or came
// back after a crash, or the user turned on GNOME's AppIndicator extension.
// It watches for the watcher's name (org.kde.StatusNotifierWatcher) and for
// its StatusNotifierHostRegistered signal, and then asks, without waiting,
// whether a host is registered.
class StatusNotifierHostWatch : public QObject
{
    Q_OBJECT

public:
    explicit StatusNotifierHostWatch(QObject *parent = nullptr);

    // Without a session bus nothing can come, and nothing is watched.
    void start();

signals:
    // Once.
    void hostArrived();

private Q_SLOTS:
    void askForHost();

private:
    bool arrived = false;
    bool started = false;
};
