#include "Win32Modules.h"

#include "WideText.h"

#include <windows.h>

namespace platform::win32_backend {

ModuleHandle Win32Modules::load(const std::string &name)
{
    const std::wstring wideName = widen(name);
    if (wideName.empty())
        return nullptr;
    return LoadLibraryW(wideName.c_str());
}

void *Win32Modules::lookup(ModuleHandle module, const char *function)
{
    if (!module || !function)
        return nullptr;
    // The core casts the address back to the function type it expects.
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(module), function));
}

bool Win32Modules::release(ModuleHandle module)
{
    return module && FreeLibrary(static_cast<HMODULE>(module));
}

} // namespace platform::win32_backend

std::unique_ptr<platform::Modules> platform::createModuleLoader()
{
    return std::make_unique<win32_backend::Win32Modules>();
}
