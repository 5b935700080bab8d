#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace platform::linux_backend {

// SIGTERM, SIGINT and SIGHUP, turned into a call on the main thread through
// a self-pipe (a signal handler may do no more than write a byte).
class LinuxSessionEnd
{
public:
    LinuxSessionEnd();
    ~LinuxSessionEnd();

    void watch(std::function<void()> onRequest);
    static bool requested();

private:
    void drain();

    std::function<void()> callback;
    std::unique_ptr<QSocketNotifier> notifier;
};

} // namespace platform::linux_backend
