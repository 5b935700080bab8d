// The folders from which the Windows loader may take this program's own
// imports (its load configuration's DependentLoadFlags, read by Windows 10
// 1607 and later). The other loads are kept to System32 and the program's
// folder by restrictModuleSearch(), but the imports are resolved before
// main runs, by the loader's default search, which ends in the current
// folder and PATH for a DLL that is found nowhere else.
//
// GNU ld of Debian 12 (binutils 2.40) has no option that sets the field
// (--dependent-load-flag came later), but it points the image's load
// configuration directory at a structure named _load_config_used, which
// this file defines with every other field zero: no security cookie, no
// SEH table (neither exists on x64), no control flow guard.
//
// TESSEL_DEPENDENT_LOAD_FLAGS comes from the program's CMake target
// (tessel_dependent_load_flags in cmake/TesselCompileOptions.cmake).
#include <windows.h>

#ifndef TESSEL_DEPENDENT_LOAD_FLAGS
#error "TESSEL_DEPENDENT_LOAD_FLAGS must name the program's load flags"
#endif

namespace {

constexpr IMAGE_LOAD_CONFIG_DIRECTORY64 loadConfiguration()
{
    IMAGE_LOAD_CONFIG_DIRECTORY64 configuration{};
    configuration.Size = sizeof configuration;
    // mingw-w64 10 calls DependentLoadFlags Reserved1; it follows CSDVersion.
    configuration.Reserved1 = TESSEL_DEPENDENT_LOAD_FLAGS;
    return configuration;
}

} // namespace

// Constant-initialised, so that it lies in the image as written here.
extern "C" {
extern const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used;
constinit const IMAGE_LOAD_CONFIG_DIRECTORY64 _load_config_used = loadConfiguration();
}

static_assert(offsetof(IMAGE_LOAD_CONFIG_DIRECTORY64, Reserved1) == 0x4E,
              "DependentLoadFlags lies at offset 0x4E of the 64-bit load configuration");
