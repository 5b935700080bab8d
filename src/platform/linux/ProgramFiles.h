#pragma once

#include <optional>
#include <string>

// Where the Linux backend finds the programs and modules that the system
// names by their Windows file names.
namespace platform::linux_backend {

// The directory of the running program, without a trailing separator.
std::string programDirectory();

// "tessel.exe" -> "tessel": the Linux programs carry no ".exe".
std::string withoutExeSuffix(const std::string &name);

enum class ProgramLookup { Found, NotFound, NotExecutable };

// Finds a program by its Windows name: first in the running program's
// directory, then along PATH.
ProgramLookup findProgram(const std::string &windowsName, std::string &path);

} // namespace platform::linux_backend
