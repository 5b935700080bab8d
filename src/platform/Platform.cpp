#include "Platform.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace platform {

namespace {
std::atomic<Platform *> installed{nullptr};
}

bool Platform::waitUnlessSessionEnds(int milliseconds)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!sessionEndRequested()) {
        const auto left = end - Clock::now();
        if (left <= Clock::duration::zero())
            return true;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(100)));
    }
    return false;
}

Platform &current()
{
    Platform *platform = installed.load(std::memory_order_acquire);
    return platform ? *platform : backend();
}

void install(Platform *platform)
{
    installed.store(platform, std::memory_order_release);
}

} // namespace platform
