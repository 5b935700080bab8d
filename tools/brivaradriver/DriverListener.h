#pragma once

#include "EventLoop.h"

#include <cstdint>
#include <functional>
#include <string>

#include <netinet/in.h>

// The driver's listening socket: accepts the watchdog's connections and hands
// each new one over.
class DriverListener
{
public:
    using Accepted = std::function<void(int socketFd)>;

    DriverListener(EventLoop &loop, Accepted onAccepted);
    ~DriverListener();
    DriverListener(const DriverListener &) = delete;
    DriverListener &operator=(const DriverListener &) = delete;

    // False with the reason in `error`.
    bool listen(const sockaddr_in &address, std::string &error);
    std::uint16_t port() const { return boundPort; }

private:
    void acceptOne();

    EventLoop &loop;
    Accepted onAccepted;
    int fd = -1;
    std::uint16_t boundPort = 0;
};
