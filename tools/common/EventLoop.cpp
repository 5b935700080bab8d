#include "EventLoop.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>

void EventLoop::watch(int fd, short events, IoHandler handler)
{
    if (Watch *existing = findWatch(fd)) {
        existing->events = events;
        existing->handler = std::move(handler);
        existing->serial = nextSerial++;
        return;
    }
    watches.push_back({fd, events, std::move(handler), nextSerial++});
}

void EventLoop::changeEvents(int fd, short events)
{
    if (Watch *existing = findWatch(fd))
        existing->events = events;
}

void EventLoop::unwatch(int fd)
{
    std::erase_if(watches, [fd](const Watch &w) { return w.fd == fd; });
}

EventLoop::TimerId EventLoop::after(std::chrono::milliseconds delay, TimerHandler handler)
{
    const TimerId id = nextTimerId++;
    timers.emplace(id, Timer{Clock::now() + delay, std::move(handler)});
    return id;
}

void EventLoop::cancel(TimerId id)
{
    timers.erase(id);
}

EventLoop::Watch *EventLoop::findWatch(int fd)
{
    const auto it = std::find_if(watches.begin(), watches.end(), [fd](const Watch &w) { return w.fd == fd; });
    return it == watches.end() ? nullptr : &*it;
}

int EventLoop::pollTimeoutMs() const
{
    if (timers.empty())
        return -1;
    auto earliest = Clock::time_point::max();
    for (const auto &[id, timer] : timers)
        earliest = std::min(earliest, timer.due);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(earliest - Clock::now());
    return static_cast<int>(std::clamp<long long>(wait.count(), 0, 60'000));
}

void EventLoop::fireDueTimers()
{
    const auto now = Clock::now();
    std::vector<TimerId> due;
    for (const auto &[id, timer] : timers) {
        if (timer.due <= now)
            due.push_back(id);
    }
    // Ids grow with creation, so timers that fall due together fire in the
    // order they were set; a handler may cancel one that has not fired yet.
    for (const TimerId id : due) {
        if (quitting)
            return;
        const auto it = timers.find(id);
        if (it == timers.end())
            continue;
        TimerHandler handler = std::move(it->second.handler);
        timers.erase(it);
        handler();
    }
}

void EventLoop::run()
{
    std::vector<pollfd> polled;
    std::vector<std::uint64_t> serials;
    while (!quitting) {
        polled.clear();
        serials.clear();
        for (const Watch &w : watches) {
            polled.push_back({w.fd, w.events, 0});
            serials.push_back(w.serial);
        }
        const int ready = ::poll(polled.data(), polled.size(), pollTimeoutMs());
        if (ready < 0 && errno != EINTR) {
            std::fprintf(stderr, "poll failed: %s\n", std::strerror(errno));
            return;
        }
        fireDueTimers();
        for (std::size_t i = 0; i < polled.size() && ready > 0 && !quitting; ++i) {
            if (polled[i].revents == 0)
                continue;
            Watch *w = findWatch(polled[i].fd);
            if (w == nullptr || w->serial != serials[i])
                continue; // removed or replaced by an earlier handler of this round
            IoHandler handler = w->handler;
            handler(polled[i].revents);
        }
    }
}
