#include "DlModules.h"

#include "ProgramFiles.h"

#include <dlfcn.h>
#include <strings.h>

namespace platform::linux_backend {

std::string DlModules::fileName(const std::string &name)
{
    constexpr std::size_t dllSuffix = 4;
    if (name.size() > dllSuffix
        && ::strcasecmp(name.c_str() + name.size() - dllSuffix, ".dll") == 0)
        return "lib" + name.substr(0, name.size() - dllSuffix) + ".so";
    return name;
}

ModuleHandle DlModules::load(const std::string &name)
{
    const std::string file = fileName(name);
    if (file.find('/') == std::string::npos) {
        const std::string besideProgram = programDirectory() + "/" + file;
        if (void *module = ::dlopen(besideProgram.c_str(), RTLD_NOW | RTLD_LOCAL))
            return module;
    }
    return ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void *DlModules::lookup(ModuleHandle module, const char *function)
{
    return module ? ::dlsym(module, function) : nullptr;
}

bool DlModules::release(ModuleHandle module)
{
    return module && ::dlclose(module) == 0;
}

} // namespace platform::linux_backend

std::unique_ptr<platform::Modules> platform::createModuleLoader()
{
    return std::make_unique<linux_backend::DlModules>();
}

bool platform::restrictModuleSearch()
{
    return true;
}
