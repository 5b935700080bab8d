#pragma once

#include "platform/Sound.h"

namespace platform::win32_backend {

// Sounds through the multimedia library's PlaySound, which plays a file
// asynchronously on a thread of its own.
class WinmmSound final : public Sound
{
public:
    void play(const std::string &path) override;
};

} // namespace platform::win32_backend
