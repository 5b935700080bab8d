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

} // namespace platform
