#pragma once

#include "ProgramLocations.h"
#include "platform/Modules.h"

#include <functional>

namespace platform::win32_backend {

// Modules through the Windows loader, always by an absolute path: a name
// without a folder is looked for beside the program, then where the
// camera's software registered its filter (ProgramLocations.h), never
// along the loader's own search, which takes in the current folder and
// PATH. A module's own imports come from its folder and System32 only.
class Win32Modules final : public Modules
{
public:
    // Tests hand in their own idea of where the folders are.
    explicit Win32Modules(std::function<SoftwareFolders()> folders = SoftwareFolders::ofSystem);

    // Also an absolute path; a relative path with a folder is refused.
    ModuleHandle load(const std::string &name) override;
    void *lookup(ModuleHandle module, const char *function) override;
    bool release(ModuleHandle module) override;
    std::string searchedPlaces() const override
    {
        return "beside the program or where the camera's software registered its filter";
    }

private:
    std::function<SoftwareFolders()> folders;
};

} // namespace platform::win32_backend
