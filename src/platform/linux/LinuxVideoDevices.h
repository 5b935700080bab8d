#pragma once

#include "platform/VideoDevices.h"

namespace platform::linux_backend {

// Video input devices from /sys/class/video4linux.
class LinuxVideoDevices final : public VideoDevices
{
public:
    std::optional<std::vector<std::optional<std::string>>> listDevicePaths() override;
};

} // namespace platform::linux_backend
