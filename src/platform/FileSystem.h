#pragma once

#include <string>

namespace platform {

// Whether a file or a folder exists at path, given as the command line gave
// it (UTF-8 on Linux, the system's code page on Windows). Paths of any
// length are looked at, so that one too long for the rest of the program is
// told apart from one that does not exist.
bool pathExists(const std::string &path);

} // namespace platform
