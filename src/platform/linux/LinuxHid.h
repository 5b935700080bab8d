#pragma once

#include "platform/Hid.h"

namespace platform::linux_backend {

// HID interfaces through hidraw. A path is the device node followed by the
// ids of its HID device written the Windows way, e.g.
// "/dev/hidraw3 hid#vid_7a3e&pid_4b20"; open() takes the node from it.
class LinuxHid final : public Hid
{
public:
    std::optional<std::vector<std::string>> listInterfaces() override;
    std::shared_ptr<HidDevice> open(const std::string &path, int &error) override;

    // The device node a path names: its text up to the first space.
    static std::string nodeOfPath(const std::string &path);
};

} // namespace platform::linux_backend
