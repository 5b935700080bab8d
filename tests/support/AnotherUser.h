#pragma once

// A program of another user of the machine at one of our channels: a child
// process that becomes that user, connects, and tells by its exit status
// what it met. Needs root; the caller's thread waits for it, so the
// channel's owner must serve from another thread or process.
#include "protocol/Channel.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <functional>
#include <utility>

namespace test_support {

enum class StrangerOutcome {
    ClosedUnserved = 0, // connected, and the other end closed without a byte
    Served = 1,         // connected, and data came
    NotConnected = 2,   // the connection failed (not for want of access)
    LeftOpen = 3,       // connected, and nothing happened in the time
    NotRun = 4,         // the child could not become the user
    AccessDenied = 5,   // the connection failed with EACCES (a folder we may not enter)
    SentAndClosed = 6,  // connected, sent its bytes and closed at once
};

struct StrangerVisit
{
    uid_t uid = 65534;
    int waitMs = 2000;
    // Sent right after connecting; with closeAfterSending the stranger then
    // leaves at once instead of waiting for an answer.
    const void *data = nullptr;
    std::size_t size = 0;
    bool closeAfterSending = false;
    // The login uid to give the stranger first (a root program started
    // through pkexec keeps its user's); -1 leaves it as it is.
    long long loginUid = -1;
};

// Connects as another user, as the visit says. `whileWaiting` runs in the
// parent until the child ends, for a server that needs its event loop turned.
inline StrangerOutcome visitAsAnotherUser(const protocol::ChannelAddress &address, const StrangerVisit &visit,
                                          const std::function<void()> &whileWaiting = {})
{
    const pid_t child = ::fork();
    if (child == 0) {
        // Only plain system calls from here: the parent may have threads.
        if (visit.loginUid >= 0) {
            char text[24];
            int length = 0;
            for (long long value = visit.loginUid; value > 0 || length == 0; value /= 10)
                text[length++] = static_cast<char>('0' + value % 10);
            for (int i = 0; i < length / 2; ++i)
                std::swap(text[i], text[length - 1 - i]);
            const int file = ::open("/proc/self/loginuid", O_WRONLY);
            if (file < 0 || ::write(file, text, static_cast<std::size_t>(length)) != length)
                ::_exit(static_cast<int>(StrangerOutcome::NotRun));
            ::close(file);
        }
        if (::setgroups(0, nullptr) != 0 || ::setresgid(visit.uid, visit.uid, visit.uid) != 0
            || ::setresuid(visit.uid, visit.uid, visit.uid) != 0)
            ::_exit(static_cast<int>(StrangerOutcome::NotRun));
        const auto s = protocol::channel::openSocket(address);
        if (!protocol::channel::connect(s, address))
            ::_exit(static_cast<int>(errno == EACCES ? StrangerOutcome::AccessDenied : StrangerOutcome::NotConnected));
        const int fd = static_cast<int>(s);
        if (visit.data && ::write(fd, visit.data, visit.size) != static_cast<ssize_t>(visit.size))
            ::_exit(static_cast<int>(StrangerOutcome::NotConnected));
        if (visit.closeAfterSending) {
            ::close(fd);
            ::_exit(static_cast<int>(StrangerOutcome::SentAndClosed));
        }
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, visit.waitMs) != 1)
            ::_exit(static_cast<int>(StrangerOutcome::LeftOpen));
        char byte;
        ::_exit(static_cast<int>(::read(fd, &byte, 1) > 0 ? StrangerOutcome::Served : StrangerOutcome::ClosedUnserved));
    }
    if (child < 0)
        return StrangerOutcome::NotRun;
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, whileWaiting ? WNOHANG : 0);
        if (ended == child)
            break;
        if (ended < 0)
            return StrangerOutcome::NotRun;
        whileWaiting();
    }
    return WIFEXITED(status) ? static_cast<StrangerOutcome>(WEXITSTATUS(status)) : StrangerOutcome::NotRun;
}

// Connects as uid 65534 to a loopback port and waits up to waitMs for data
// or for the other end to close the connection.
inline StrangerOutcome connectAsAnotherUser(std::uint16_t port, int waitMs,
                                            const std::function<void()> &whileWaiting = {})
{
    StrangerVisit visit;
    visit.waitMs = waitMs;
    return visitAsAnotherUser(protocol::ChannelAddress::loopbackTcp(port), visit, whileWaiting);
}

} // namespace test_support
