#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// One video device of the camera: its position among the system's video
// input devices and its name. 260 bytes on the wire.
struct VideoDeviceEntry
{
    static constexpr std::size_t Size = 260;
    static constexpr std::size_t NameSize = 256;

    std::int32_t deviceIndex = 0;
    std::array<char, NameSize> deviceName{}; // NUL-terminated, zero-filled

    // An entry whose name is cut to 255 bytes so that it stays terminated.
    static VideoDeviceEntry make(std::int32_t index, std::string_view name);

    std::string name() const;

    void encodeTo(std::uint8_t *at) const;
    static VideoDeviceEntry decodeFrom(const std::uint8_t *at);

    bool operator==(const VideoDeviceEntry &) const = default;
};
