#pragma once

#include <memory>
#include <string>

namespace platform {

using ModuleHandle = void *;

// Loading of outside modules at run time. Names are the Windows module names
// ("ZentraSw.dll", "tlxuvc.ax"); each backend maps them to its own files.
class Modules
{
public:
    virtual ~Modules() = default;

    // Loads a module; null when it cannot be loaded.
    virtual ModuleHandle load(const std::string &name) = 0;
    // Looks a function up by name; null when the module has none.
    virtual void *lookup(ModuleHandle module, const char *function) = 0;
    // Releases a module; false when the system refuses.
    virtual bool release(ModuleHandle module) = 0;
    // The file that load() looks for under a module name, for messages.
    virtual std::string fileNameFor(const std::string &name) const { return name; }
    // Where load() looks for a module given by name, for messages.
    virtual std::string searchedPlaces() const { return "beside the program or on the system's library path"; }
};

// The backend's loader, for programs that have no Platform (the updater).
std::unique_ptr<Modules> createModuleLoader();

// Keeps this process from loading code from anywhere but the system's own
// folder and the program's (Windows: SetDefaultDllDirectories; Linux's
// loader never looks in the current folder, so there is nothing to do).
// First thing in every program's main, before any library is loaded by
// name. False when the system cannot.
bool restrictModuleSearch();

} // namespace platform
