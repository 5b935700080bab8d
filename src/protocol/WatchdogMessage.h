#pragma once

#include "VideoDeviceEntry.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The record of the viewer protocol: 2616 bytes, little-endian, the same in
// both directions. Every record the watchdog sends starts from zero bytes.
struct WatchdogMessage
{
    static constexpr std::size_t Size = 2616;
    static constexpr std::size_t MaxDevices = 10;
    using Bytes = std::array<std::uint8_t, Size>;

    std::int32_t request = 0; // 1: a request; anything else: a response or notification
    std::int32_t command = 0; // a WatchdogCommand code
    std::uint8_t state = 0;
    std::array<VideoDeviceEntry, MaxDevices> devices{};
    std::int32_t deviceCount = 0;

    Bytes encode() const;
    static WatchdogMessage decode(const Bytes &bytes);

    bool operator==(const WatchdogMessage &) const = default;
};
