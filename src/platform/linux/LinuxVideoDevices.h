#pragma once

#include "platform/VideoDevices.h"

namespace platform::linux_backend {

// Video input devices from /sys/class/video4linux, in numeric order; nodes
// that cannot capture video (a UVC camera's metadata node) are left out and
// not counted. A path
// is the device node, the ids of the USB device above it written the Windows
// way, and the device's name, e.g.
// "/dev/video0 usb#vid_7a3e&pid_4b10 Brivara tessel Visualizer"; a device
// without a USB parent has no ids in its path.
class LinuxVideoDevices final : public VideoDevices
{
public:
    std::optional<std::vector<std::optional<std::string>>> listDevicePaths() override;
};

} // namespace platform::linux_backend
