#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// What the driver tells the watchdog.
enum ResponseType : std::int32_t {
    REQUEST_RESULT = 0,
    DRIVER_EXIT = 3,
    MENU_ITEM_CLICKED = 4,
    OEM_BUTTON_PRESSED = 7,
};

// The 12-byte header of every message from the driver, followed by `length`
// extra bytes that carry nothing the watchdog uses.
struct ResponseHeader
{
    static constexpr std::size_t Size = 12;
    static constexpr std::int32_t MaxExtraLength = 4096;
    using Bytes = std::array<std::uint8_t, Size>;

    std::int32_t type = 0;
    std::int32_t value = 0;
    std::int32_t length = 0;

    Bytes encode() const;
    static ResponseHeader decode(const std::uint8_t *at);

    bool operator==(const ResponseHeader &) const = default;
};
