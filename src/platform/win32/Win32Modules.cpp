#include "Win32Modules.h"

#include "WideText.h"

#include <windows.h>

namespace platform::win32_backend {

namespace {

// The module's own folder for its imports (the camera's software keeps its
// DLLs together), and System32; not the program's folder, the current
// folder or PATH.
constexpr DWORD ImportSearch = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

} // namespace

Win32Modules::Win32Modules(std::function<SoftwareFolders()> folders)
    : folders(std::move(folders))
{
}

ModuleHandle Win32Modules::load(const std::string &name)
{
    const std::wstring wideName = widen(name);
    if (wideName.empty())
        return nullptr;
    if (hasFolder(wideName))
        return isAbsolutePath(wideName) ? LoadLibraryExW(wideName.c_str(), nullptr, ImportSearch) : nullptr;
    // A copy that cannot be loaded (another machine type, damaged) does not
    // hide a good one further on.
    for (const std::wstring &candidate : moduleCandidates(wideName, folders())) {
        if (!isFile(candidate))
            continue;
        if (HMODULE module = LoadLibraryExW(candidate.c_str(), nullptr, ImportSearch))
            return module;
    }
    return nullptr;
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

bool platform::restrictModuleSearch()
{
    // Every later LoadLibrary by name, ours or a library's (COM's, the
    // shell's, Qt's), looks in System32 and the program's folder only.
    return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR);
}
