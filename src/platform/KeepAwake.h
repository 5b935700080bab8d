#pragma once

#include <memory>
#include <string>

namespace platform {

// Holds the machine awake while something runs that must not be cut short,
// such as a firmware write. What the lock holds off differs by system:
// - Linux, a logind block inhibitor on "sleep:shutdown": logind refuses
//   suspend, hibernation, power-off and reboot to other users who may not
//   override inhibitors. The user holding the lock, root, and logind's own
//   lid-switch handling (LidSwitchIgnoreInhibited=yes) are not held off;
//   desktops and a systemctl at a terminal warn of the lock first.
// - Windows, the thread's execution state ES_SYSTEM_REQUIRED: only the
//   idle timer's sleep. A sleep the user asks for (Start menu, power
//   button, closing the lid), hibernation on a critical battery, and
//   shutdown or restart still happen: Windows asks a console program
//   without a window nothing before those.
//   A power request (PowerSetRequest, PowerRequestSystemRequired) would
//   hold off no more than this.
class KeepAwake
{
public:
    virtual ~KeepAwake() = default;

    // Starts keeping the machine awake; false, with the reason in reason,
    // when the system does not let us.
    virtual bool hold(std::string &reason) = 0;
    // Lets the machine sleep again; harmless when nothing is held. Called on
    // the thread that called hold().
    virtual void release() = 0;
};

// The backend of this build: a logind inhibitor lock (who and why are shown
// to whoever asks logind what blocks a suspend), or the thread's execution
// state on Windows (who and why have no place there).
std::unique_ptr<KeepAwake> createKeepAwake(const std::string &who, const std::string &why);

} // namespace platform
