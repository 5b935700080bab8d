#pragma once

#include "ChannelTarget.h"
#include "EventLoop.h"

#include <cstdint>
#include <functional>
#include <string>

// The driver's listening socket (the user's driver.sock, or a TCP port):
// accepts the watchdog's connections, turns away any program that is not
// the user's own, and hands each accepted one over.
class DriverListener
{
public:
    using Accepted = std::function<void(int socketFd)>;
    using Refused = std::function<void(const std::string &why)>;

    DriverListener(EventLoop &loop, Accepted onAccepted, Refused onRefused);
    ~DriverListener();
    DriverListener(const DriverListener &) = delete;
    DriverListener &operator=(const DriverListener &) = delete;

    // False with the reason in `error`.
    bool listen(const ChannelTarget &target, std::string &error);
    std::uint16_t port() const { return boundPort; }

private:
    void acceptOne();

    EventLoop &loop;
    Accepted onAccepted;
    Refused onRefused;
    ChannelTarget where;
    int fd = -1;
    std::uint16_t boundPort = 0;
};
