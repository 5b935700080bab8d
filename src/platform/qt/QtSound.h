#pragma once

#include "platform/Sound.h"

namespace platform {

// Plays sounds with Qt Multimedia on the main thread, whatever thread asks.
// Without a sound device Qt keeps the effect "playing" for ever, so nothing
// here ever waits for a sound to end.
class QtSound final : public Sound
{
public:
    void play(const std::string &path) override;
};

} // namespace platform
