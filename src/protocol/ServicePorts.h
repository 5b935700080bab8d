#pragma once

#include <atomic>
#include <cstdint>

// The fixed ports of the two TCP links. Tests that cannot use a network
// namespace of their own move them before the watchdog creates its server and
// client; the program itself never changes them.
struct ServicePorts
{
    static constexpr std::uint16_t ViewerPort = 1933;
    static constexpr std::uint16_t DriverPort = 800;

    static inline std::atomic<std::uint16_t> viewer{ViewerPort};
    static inline std::atomic<std::uint16_t> driver{DriverPort};
};
