#pragma once

#include "platform/Hid.h"

namespace platform::linux_backend {

// HID interfaces through hidraw.
class LinuxHid final : public Hid
{
public:
    std::optional<std::vector<std::string>> listInterfaces() override;
    std::shared_ptr<HidDevice> open(const std::string &path, int &error) override;
};

} // namespace platform::linux_backend
