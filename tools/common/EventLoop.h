#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

// A single-threaded poll() loop with file descriptor watches and one-shot
// timers. Handlers may add or remove watches and timers, including their own,
// while they run: a handler is copied before it is called.
class EventLoop
{
public:
    using Clock = std::chrono::steady_clock;
    using IoHandler = std::function<void(short revents)>;
    using TimerHandler = std::function<void()>;
    using TimerId = std::uint64_t;

    void watch(int fd, short events, IoHandler handler);
    void changeEvents(int fd, short events);
    void unwatch(int fd);

    TimerId after(std::chrono::milliseconds delay, TimerHandler handler);
    void cancel(TimerId id);

    // Runs until quit() is called.
    void run();
    void quit() { quitting = true; }

private:
    struct Watch
    {
        int fd;
        short events;
        IoHandler handler;
        std::uint64_t serial; // tells a watch from a later one on a reused fd
    };
    struct Timer
    {
        Clock::time_point due;
        TimerHandler handler;
    };

    Watch *findWatch(int fd);
    int pollTimeoutMs() const;
    void fireDueTimers();

    std::vector<Watch> watches;
    std::map<TimerId, Timer> timers;
    std::uint64_t nextSerial = 1;
    TimerId nextTimerId = 1;
    bool quitting = false;
};
