#pragma once

#include "platform/VideoDevices.h"

namespace platform::win32_backend {

// The video input devices as DirectShow's system device enumerator lists
// them; the path text is each device's "DevicePath" property, which carries
// the USB ids ("\\?\usb#vid_7a3e&pid_4b10&mi_00#...").
class DirectShowVideoDevices final : public VideoDevices
{
public:
    std::optional<std::vector<std::optional<std::string>>> listDevicePaths() override;
};

} // namespace platform::win32_backend
