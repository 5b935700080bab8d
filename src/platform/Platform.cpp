#include "Platform.h"

#include <atomic>

namespace platform {

namespace {
std::atomic<Platform *> installed{nullptr};
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
