#pragma once

#include <QObject>
#include <QString>

#include <functional>

namespace platform::linux_backend {

// Hears logind's PrepareForSleep on the system bus: false means the system
// has resumed, true that it is about to sleep. The watcher holds a private
// bus connection of its own, so that undoing it leaves no connection behind.
// With no system bus it stays quiet and nothing fails.
class LogindResumeWatcher final : public QObject
{
    Q_OBJECT

public:
    explicit LogindResumeWatcher(std::function<void(bool sleeping)> handler);
    ~LogindResumeWatcher() override;

    bool subscribed() const { return isSubscribed; }
    // Unsubscribes and closes the bus connection now; the object itself may
    // then be deleted later (it may be inside its own slot).
    void close();

private slots:
    void prepareForSleep(bool start);

private:
    std::function<void(bool)> handler;
    QString connectionName;
    bool isSubscribed = false;
    bool closed = false;
};

} // namespace platform::linux_backend
