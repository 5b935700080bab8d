// While a thread's execution state says ES_SYSTEM_REQUIRED continuously,
// the idle timer does not put the system to sleep; resetting it to
// ES_CONTINUOUS alone lets the timer count again. The state belongs to the
// calling thread. It holds off nothing else: a sleep the user chooses and a
// shutdown still happen (see KeepAwake.h).
#include "platform/KeepAwake.h"

#include <windows.h>

namespace platform {

namespace {

class ExecutionStateKeepAwake final : public KeepAwake
{
public:
    ~ExecutionStateKeepAwake() override { release(); }

    bool hold(std::string &reason) override
    {
        if (SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED) == 0) {
            reason = "SetThreadExecutionState failed";
            return false;
        }
        held = true;
        return true;
    }

    void release() override
    {
        if (held)
            SetThreadExecutionState(ES_CONTINUOUS);
        held = false;
    }

private:
    bool held = false;
};

} // namespace

std::unique_ptr<KeepAwake> createKeepAwake(const std::string &, const std::string &)
{
    return std::make_unique<ExecutionStateKeepAwake>();
}

} // namespace platform
