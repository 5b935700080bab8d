#include "LinuxVideoDevices.h"

namespace platform::linux_backend {

// Placeholder until the video4linux backend lands: no video input device.
std::optional<std::vector<std::optional<std::string>>> LinuxVideoDevices::listDevicePaths()
{
    return std::nullopt;
}

} // namespace platform::linux_backend
