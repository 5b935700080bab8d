#include "LinuxHid.h"

#include <cerrno>

namespace platform::linux_backend {

// Placeholder until the hidraw backend lands: no HID interface is present.
std::optional<std::vector<std::string>> LinuxHid::listInterfaces()
{
    return std::vector<std::string>{};
}

std::shared_ptr<HidDevice> LinuxHid::open(const std::string &, int &error)
{
    error = ENODEV;
    return nullptr;
}

} // namespace platform::linux_backend
