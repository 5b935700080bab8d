#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The desktop's StatusNotifier watcher, where tray hosts register: what the
// tray program asks it at start and when one comes later.
namespace status_notifier {

inline const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
inline const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");

// Asks, without waiting, whether a host has registered with the watcher.
// answer runs in context's thread; false also when no watcher answers.
void askWhetherAHostIsRegistered(QObject *context, std::function<void(bool)> answer);

} // namespace status_notifier
