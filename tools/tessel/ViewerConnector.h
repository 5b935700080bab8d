#pragma once

#include "ChannelTarget.h"
#include "EventLoop.h"

#include <chrono>
#include <functional>
#include <string>

// Connects to the watchdog's viewer channel, trying again every retry
// interval until it succeeds or the time is up: the viewer may start before
// the watchdog listens. Non-blocking, so commands and signals stay served. A
// listener that is not the user's own program is left at once, before a
// byte is sent, and counts as a failed attempt.
class ViewerConnector
{
public:
    using Connected = std::function<void(int socketFd)>;
    using GaveUp = std::function<void(int lastError)>;
    using Refused = std::function<void(const std::string &why)>;

    ViewerConnector(EventLoop &loop, ChannelTarget target, std::chrono::milliseconds retryInterval);
    ~ViewerConnector();
    ViewerConnector(const ViewerConnector &) = delete;
    ViewerConnector &operator=(const ViewerConnector &) = delete;

    void start(std::chrono::milliseconds timeout, Connected onConnected, GaveUp onGaveUp, Refused onRefused);
    void cancel();
    bool isTrying() const { return trying; }

private:
    void attempt();
    void checkResult();
    void failedAttempt(int error);
    void closeSocket();

    EventLoop &loop;
    ChannelTarget target;
    std::chrono::milliseconds retryInterval;
    EventLoop::Clock::time_point deadline;
    Connected onConnected;
    GaveUp onGaveUp;
    Refused onRefused;
    int fd = -1;
    bool trying = false;
    EventLoop::TimerId retryTimer = 0;
};
