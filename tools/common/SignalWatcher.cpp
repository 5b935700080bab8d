#include "SignalWatcher.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

int signalWriteFd = -1;

extern "C" void forwardSignal(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(signalWriteFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

SignalWatcher::SignalWatcher(EventLoop &eventLoop, Handler handler)
    : loop(eventLoop), onSignal(std::move(handler))
{
    std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    readFd = fds[0];
    signalWriteFd = fds[1];

    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);

    loop.watch(readFd, POLLIN, [this](short) { readSignals(); });
}

SignalWatcher::~SignalWatcher()
{
    if (readFd < 0)
        return;
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    loop.unwatch(readFd);
    ::close(readFd);
    ::close(signalWriteFd);
    signalWriteFd = -1;
}

void SignalWatcher::readSignals()
{
    unsigned char signals[16];
    const ssize_t got = ::read(readFd, signals, sizeof signals);
    for (ssize_t i = 0; i < got; ++i)
        onSignal(signals[i]);
}

const char *signalName(int signalNumber)
{
    switch (signalNumber) {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    default:
        return "signal";
    }
}
