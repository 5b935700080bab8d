#pragma once

#include <optional>
#include <string>
#include <vector>

namespace platform {

// The system's video input devices.
class VideoDevices
{
public:
    virtual ~VideoDevices() = default;

    // One element per video input device, in the system's order, holding the
    // device's path text (with the USB ids written "vid_7a3e&pid_4b10" and
    // the device's name), or nothing when the path cannot be read. Empty when
    // the video input category cannot be enumerated or has no device at all.
    virtual std::optional<std::vector<std::optional<std::string>>> listDevicePaths() = 0;
};

// The devices that a device index counts, in its order: those whose path
// could be read. The watchdog numbers the camera this way and the viewer
// finds it again by the number, so both count through here.
inline std::vector<std::string> indexedDevicePaths(const std::optional<std::vector<std::optional<std::string>>> &listed)
{
    std::vector<std::string> counted;
    if (listed)
        for (const std::optional<std::string> &path : *listed)
            if (path)
                counted.push_back(*path);
    return counted;
}

} // namespace platform
