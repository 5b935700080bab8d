#pragma once

#include "platform/Hid.h"

namespace platform::win32_backend {

// The present HID interfaces through SetupAPI; their device paths already
// carry the ids the way the matching rules read them
// ("\\?\hid#vid_7a3e&pid_4b20#...").
class Win32Hid final : public Hid
{
public:
    std::optional<std::vector<std::string>> listInterfaces() override;
    std::shared_ptr<HidDevice> open(const std::string &path, int &error) override;
};

} // namespace platform::win32_backend
