#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// What the watchdog asks of the driver.
enum RequestType : std::uint16_t {
    ADD_OEM_BUTTON = 9,
    ADD_MENU_ITEM = 16,
    REMOVE_MENU_ITEM = 17,
};

// The 8-byte header of every message from the watchdog to the driver.
struct RequestHeader
{
    static constexpr std::size_t Size = 8;
    using Bytes = std::array<std::uint8_t, Size>;

    std::uint16_t type = 0;
    std::int32_t length = 0; // payload bytes that follow

    Bytes encode() const;
    static RequestHeader decode(const std::uint8_t *at);
};
