#pragma once

#include <memory>
#include <string>

namespace platform {

// Keeps the machine from suspending or shutting down while something runs
// that must not be cut short, such as a firmware write.
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
// state on Windows.
std::unique_ptr<KeepAwake> createKeepAwake(const std::string &who, const std::string &why);

} // namespace platform
