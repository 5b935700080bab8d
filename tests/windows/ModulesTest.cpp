// Loading outside modules by name through the Windows loader: the control
// library's stand-in beside the program, and the failures the core must be
// able to tell apart.
#include "PlatformTestSupport.h"
#include "Win32Modules.h"

#include <gtest/gtest.h>

namespace {

using namespace platform_tests;
using platform::win32_backend::Win32Modules;

TEST(Win32Modules, LoadsTheControlLibraryBesideTheProgramAndFindsItsFunctions)
{
    Win32Modules modules;
    const platform::ModuleHandle library = modules.load("ZentraSw.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_NE(modules.lookup(library, "InitLibrary"), nullptr);
    EXPECT_NE(modules.lookup(library, "DeInitLibrary"), nullptr);
    EXPECT_EQ(modules.lookup(library, "NoSuchFunction"), nullptr);
    EXPECT_TRUE(modules.release(library));
}

TEST(Win32Modules, MissingModulesAndNullHandlesGiveClearResults)
{
    Win32Modules modules;
    EXPECT_EQ(modules.load("NoSuchModule7a3e.dll"), nullptr);
    EXPECT_EQ(modules.load(""), nullptr);
    EXPECT_EQ(modules.lookup(nullptr, "InitLibrary"), nullptr);
    EXPECT_FALSE(modules.release(nullptr));
}

TEST(Win32Modules, LoadsByAPathOutsideTheAsciiRange)
{
    // The core hands names over as UTF-8; the wide loader must get the same
    // characters.
    const std::filesystem::path folder = scratchDirectory("modules");
    const std::filesystem::path copy = folder / std::filesystem::path(u8"Zentr\u00e4 \u20ac.dll");
    std::filesystem::copy_file(runtimeDirectory() / "ZentraSw.dll", copy);

    Win32Modules modules;
    const platform::ModuleHandle library = modules.load(toUtf8(copy));
    ASSERT_NE(library, nullptr);
    EXPECT_NE(modules.lookup(library, "InitLibrary"), nullptr);
    EXPECT_TRUE(modules.release(library));

    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

} // namespace
