#pragma once

// What the updater's tests need from the system they run on: starting a
// program with captured output, and arranging the filter module so that
// the updater finds it in place, can register it, or cannot. One
// implementation a system (linux/, win32/).

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace updater_tests {

using Environment = std::vector<std::pair<std::string, std::string>>;

struct ChildCommand
{
    std::filesystem::path program;
    std::vector<std::string> arguments;
    std::filesystem::path workingDirectory;
    Environment environment; // added to (or replacing in) the test's own
};

struct ChildResult
{
    int exitStatus = -1;
    std::string out;
    std::string err;
};

// Runs a program to its end and returns its exit status and the exact
// bytes of its standard output and error.
ChildResult runChild(const ChildCommand &command);

// The folder the test program (and the programs under test) lie in.
std::filesystem::path runtimeDirectory();

void setEnvironmentVariable(const std::string &name, const std::string &value);

// File names of this system.
extern const char *const UPDATER_PROGRAM;
extern const char *const CONTROL_LIBRARY;
extern const char *const FILTER_MODULE;
// The line end a program writes in text mode.
extern const char *const TEXT_LINE_END;
// Where the updater says it looked for its control library.
extern const char *const LIBRARY_PLACES;
// What the updater writes on standard error when it writes an image in the
// sandbox, where nothing keeps the machine awake on this system (empty
// where nothing can prevent it).
extern const char *const NOT_KEPT_AWAKE;

struct SandboxFolders
{
    std::filesystem::path program; // the updater and its library
    std::filesystem::path work;    // the updater's current directory
    std::filesystem::path tools;   // commands found before the system's
    std::filesystem::path callLog; // the stand-ins' call log
};

enum class FilterSetup {
    InPlace,       // found without registering
    Registrable,   // the registration command makes it available
    Unregistrable, // the registration command runs but does not help
};

// Arranges the filter module and a logging stand-in for the registration
// command; returns what the updater's environment needs for it.
Environment arrangeFilter(const SandboxFolders &folders, FilterSetup setup);

// Lines of the stand-ins' state file that the setup needs (the filter's
// registration failing, where the registration is the filter's own doing).
std::string filterState(FilterSetup setup);

// Whether the filter is still available after a run (a registration the
// run made must have been undone).
bool filterAvailable(const SandboxFolders &folders);

// The call log lines of the registration and its undo: with a real
// registration (Registrable) and with the command stand-in alone.
std::vector<std::string> registrationLogLines(FilterSetup setup);

// An existing path that cannot be opened for reading, even by root.
std::filesystem::path makeUnopenablePath(const std::filesystem::path &folder);

} // namespace updater_tests
