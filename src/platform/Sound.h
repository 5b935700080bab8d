#pragma once

#include <string>

namespace platform {

// Plays a sound file without waiting for it to end.
class Sound
{
public:
    virtual ~Sound() = default;
    virtual void play(const std::string &path) = 0;
};

} // namespace platform
