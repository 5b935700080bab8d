#include "SleepGuard.h"

#include <string>

namespace updater {

SleepGuard::SleepGuard(Console &console, std::unique_ptr<platform::KeepAwake> given)
    : keeper(std::move(given))
{
    std::string reason;
    if (keeper && !keeper->hold(reason))
        console.err("The machine is not kept awake during the update (" + reason + ")\n");
}

SleepGuard::~SleepGuard()
{
    if (keeper)
        keeper->release();
}

} // namespace updater
