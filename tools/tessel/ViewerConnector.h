#pragma once

#include "EventLoop.h"

#include <chrono>
#include <functional>

#include <netinet/in.h>

// Connects to the watchdog's viewer port, trying again every retry interval
// until it succeeds or the time is up: the viewer may start before the
// watchdog listens. Non-blocking, so commands and signals stay served.
class ViewerConnector
{
public:
    using Connected = std::function<void(int socketFd)>;
    using GaveUp = std::function<void(int lastError)>;

    ViewerConnector(EventLoop &loop, sockaddr_in target, std::chrono::milliseconds retryInterval);
    ~ViewerConnector();
    ViewerConnector(const ViewerConnector &) = delete;
    ViewerConnector &operator=(const ViewerConnector &) = delete;

    void start(std::chrono::milliseconds timeout, Connected onConnected, GaveUp onGaveUp);
    void cancel();
    bool isTrying() const { return trying; }

private:
    void attempt();
    void checkResult();
    void failedAttempt(int error);
    void closeSocket();

    EventLoop &loop;
    sockaddr_in target;
    std::chrono::milliseconds retryInterval;
    EventLoop::Clock::time_point deadline;
    Connected onConnected;
    GaveUp onGaveUp;
    int fd = -1;
    bool trying = false;
    EventLoop::TimerId retryTimer = 0;
};
