#pragma once

#include "protocol/WatchdogMessage.h"

#include <cstdint>
#include <string>
#include <vector>

// How the viewer stand-in shows records in its event lines.
namespace record_text {

// The code's name, or "-" for the codes that carry none.
const char *commandName(std::int32_t code);

// "request=1 command=93 VIEWER_ON_OFF state=0"
std::string summary(std::int32_t request, std::int32_t command, std::uint8_t state);

// The summary plus " deviceCount=N".
std::string describe(const WatchdogMessage &message);

// One "device slot=S index=I name=\"...\"" per entry that deviceCount
// covers, and a warning line first when deviceCount lies outside 0..10.
std::vector<std::string> describeDevices(const WatchdogMessage &message);

} // namespace record_text
