#include "LinuxSessionEnd.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace platform::linux_backend {

namespace {

std::atomic<bool> endRequested{false};
int signalPipe[2] = {-1, -1};

extern "C" void onSessionSignal(int)
{
    endRequested = true;
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

LinuxSessionEnd::LinuxSessionEnd() = default;
LinuxSessionEnd::~LinuxSessionEnd() = default;

bool LinuxSessionEnd::requested()
{
    return endRequested;
}

void LinuxSessionEnd::watch(std::function<void()> onRequest)
{
    callback = std::move(onRequest);
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    if (!notifier && QCoreApplication::instance()) {
        notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] { drain(); });
    }
    struct sigaction action{};
    action.sa_handler = onSessionSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    // A signal that came before the notifier existed is not lost.
    if (endRequested)
        drain();
}

void LinuxSessionEnd::drain()
{
    char bytes[16];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    // Queued, so that the callback runs from the event loop, never inside
    // watch(); without a notifier there is no event loop to run it.
    if (callback && notifier)
        QMetaObject::invokeMethod(notifier.get(), callback, Qt::QueuedConnection);
}

} // namespace platform::linux_backend
