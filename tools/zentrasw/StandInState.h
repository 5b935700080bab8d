#pragma once

// The behaviour of the control library and filter stand-ins, read from a
// small key=value file named by ZENTRASW_STATE. The file is read afresh at
// every call, so a test (or another stand-in) can change the behaviour
// while a program runs.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zentrasw {

inline constexpr const char *STATE_VARIABLE = "ZENTRASW_STATE";

class StandInState
{
public:
    // The state file named by ZENTRASW_STATE; defaults when it is unset or
    // cannot be read.
    static StandInState load();
    static StandInState parse(std::string_view text);

    // A number: the fallback when the key is absent, empty or not a number
    // (decimal, or hexadecimal with 0x).
    int number(std::string_view key, int fallback) const;
    // A text as written, also when empty; the fallback only when absent.
    std::string text(std::string_view key, std::string_view fallback) const;

private:
    std::map<std::string, std::string, std::less<>> values;
};

// One entry of UpdatePhases: the phase number, repeated `calls` times.
struct UpdatePhase
{
    int phase = 0;
    int calls = 0;
};

// "0x26,1x26" -> {0, 26}, {1, 26}. Malformed entries are skipped.
std::vector<UpdatePhase> parseUpdatePhases(std::string_view text);

// Appends one line to the file named by CallLog, when there is one.
void logCall(const StandInState &state, std::string_view line);

} // namespace zentrasw
