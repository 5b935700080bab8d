#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The 65-byte HID output report that imitates a camera button.
struct ButtonReport
{
    static constexpr std::size_t Size = 65;
    using Bytes = std::array<std::uint8_t, Size>;

    static constexpr std::uint8_t Rotate = 0x02;
    static constexpr std::uint8_t Light = 0x04;
    static constexpr std::uint8_t Release = 0x00;

    std::uint8_t value = Release; // only the low byte of a button value is sent

    Bytes encode() const;
    // Whether a written output report is a button report, and which value it carries.
    static bool decode(const std::uint8_t *data, std::size_t size, std::uint8_t &value);
};
