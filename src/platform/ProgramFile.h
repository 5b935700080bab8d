#pragma once

#include <optional>
#include <string>

namespace platform {

// The full path of the running program's file, as the system names it;
// nothing when the system cannot tell it.
std::optional<std::string> programFilePath();

} // namespace platform
