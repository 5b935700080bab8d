#pragma once

// A program of another user of the machine at one of our loopback ports:
// a child process that becomes uid 65534, connects, and tells by its exit
// status what it met. Needs root; the caller's thread waits for it, so the
// port's owner must serve from another thread or process.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>

namespace test_support {

enum class StrangerOutcome { ClosedUnserved = 0, Served = 1, NotConnected = 2, LeftOpen = 3, NotRun = 4 };

// Connects as uid 65534 and waits up to waitMs for data or for the other end
// to close the connection. `whileWaiting` runs in the parent until the child
// ends, for a server that needs its event loop turned.
inline StrangerOutcome connectAsAnotherUser(std::uint16_t port, int waitMs,
                                            const std::function<void()> &whileWaiting = {})
{
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here: the parent may have threads.
        if (::setresgid(65534, 65534, 65534) != 0 || ::setresuid(65534, 65534, 65534) != 0)
            ::_exit(static_cast<int>(StrangerOutcome::NotRun));
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port = htons(port);
        server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(s, reinterpret_cast<sockaddr *>(&server), sizeof server) != 0)
            ::_exit(static_cast<int>(StrangerOutcome::NotConnected));
        pollfd readable{s, POLLIN, 0};
        if (::poll(&readable, 1, waitMs) != 1)
            ::_exit(static_cast<int>(StrangerOutcome::LeftOpen));
        char byte;
        ::_exit(static_cast<int>(::read(s, &byte, 1) > 0 ? StrangerOutcome::Served : StrangerOutcome::ClosedUnserved));
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

} // namespace test_support
