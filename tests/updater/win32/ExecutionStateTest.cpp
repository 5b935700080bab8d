// On Windows the updater keeps the machine awake through the thread's
// execution state. A call without ES_CONTINUOUS only nudges the idle timer
// and hands back the state in force, which is how the test reads it.
#include "SleepGuard.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

EXECUTION_STATE stateInForce()
{
    return SetThreadExecutionState(ES_SYSTEM_REQUIRED) & (ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

struct QuietConsole final : updater::Console
{
    void out(std::string_view) override {}
    void err(std::string_view text) override { errors += text; }
    void flushOut() override {}
    bool watchedOnTerminal() const override { return false; }
    std::string errors;
};

TEST(ExecutionState, SystemRequiredForTheGuardsLifeThenReset)
{
    QuietConsole console;
    {
        updater::SleepGuard guard(console,
                                  platform::createKeepAwake(updater::SleepGuard::WHO, updater::SleepGuard::WHY));
        EXPECT_EQ(stateInForce(), static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
    }
    EXPECT_EQ(stateInForce(), static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
    EXPECT_EQ(console.errors, "");
}

} // namespace
