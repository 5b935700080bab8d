// The filter on Linux: there is no COM class registry, so the filter counts
// as in place when the module "tlxuvc.ax" loads, beside the program first,
// then wherever the dynamic loader looks.
//
// Registering is left to a command, as on Windows: "regfilter", found on
// PATH, gets the same arguments regsvr32 would ("/s tlxuvc.ax", with "/u" to
// undo) and is expected to make the module in the current directory
// loadable (for example by linking it into a folder on the loader's path).
// Its output is discarded, which is what "/s" asks of regsvr32; a system
// without the command fails the second check and reports it.
#include "platform/FilterRegistration.h"

#include "platform/ProgramFile.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>

namespace platform {

namespace {

constexpr const char *FILTER_MODULE = "tlxuvc.ax";
constexpr const char *REGISTER_COMMAND = "regfilter /s tlxuvc.ax >/dev/null 2>&1";
constexpr const char *UNREGISTER_COMMAND = "regfilter /s /u tlxuvc.ax >/dev/null 2>&1";

bool loads(const std::string &module)
{
    void *handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;
    ::dlclose(handle);
    return true;
}

class DlFilterRegistration final : public FilterRegistration
{
public:
    void openSession() override {}
    void closeSession() override {}

    bool filterInPlace() override
    {
        if (const auto program = programFilePath()) {
            const auto besideProgram = std::filesystem::path(*program).parent_path() / FILTER_MODULE;
            if (loads(besideProgram.string()))
                return true;
        }
        return loads(FILTER_MODULE);
    }

    void registerFilter() override { static_cast<void>(std::system(REGISTER_COMMAND)); }
    void unregisterFilter() override { static_cast<void>(std::system(UNREGISTER_COMMAND)); }
};

} // namespace

std::unique_ptr<FilterRegistration> createFilterRegistration()
{
    return std::make_unique<DlFilterRegistration>();
}

} // namespace platform
