#pragma once

#include "Console.h"
#include "platform/KeepAwake.h"

#include <memory>

namespace updater {

// Keeps the machine awake for as long as it lives: a suspend or shutdown in
// the middle of a firmware write can leave the camera unusable. When the
// system does not let us, the update still goes on, and standard error says
// so; standard output is left to the update's own texts.
class SleepGuard
{
public:
    // What the system shows as the holder of the lock and its reason.
    static constexpr const char *WHO = "ZentraUpdater";
    static constexpr const char *WHY = "Camera firmware update";

    // keeper may be null: then nothing is held and nothing is said.
    SleepGuard(Console &console, std::unique_ptr<platform::KeepAwake> keeper);
    ~SleepGuard();
    SleepGuard(const SleepGuard &) = delete;
    SleepGuard &operator=(const SleepGuard &) = delete;

private:
    std::unique_ptr<platform::KeepAwake> keeper;
};

} // namespace updater
