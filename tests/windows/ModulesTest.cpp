// Loading outside modules by name through the Windows loader: the control
// library's stand-in beside the program or the camera software's folder,
// never from the current folder, and the failures the core must be able to
// tell apart.
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

namespace {

using platform::win32_backend::SoftwareFolders;

std::wstring loadedFrom(platform::ModuleHandle module)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(module), path, MAX_PATH);
    return std::wstring(path, length);
}

// Three folders: ours, the camera software's (its filter registered
// there), and the current one, each perhaps holding a copy of the library.
class ModuleFolders : public ::testing::Test
{
protected:
    ModuleFolders()
        : program(scratchDirectory("program")), camera(scratchDirectory("camera")), current(scratchDirectory("current"))
    {
        GetCurrentDirectoryW(MAX_PATH, previousDirectory);
        SetCurrentDirectoryW(current.c_str());
    }
    ~ModuleFolders() override
    {
        SetCurrentDirectoryW(previousDirectory);
        std::error_code ignored;
        for (const auto &folder : {program, camera, current})
            std::filesystem::remove_all(folder, ignored);
    }

    void put(const std::filesystem::path &folder)
    {
        std::filesystem::copy_file(runtimeDirectory() / "ZentraSw.dll", folder / "ZentraSw.dll");
    }

    Win32Modules modules(bool cameraRegistered)
    {
        SoftwareFolders folders{program.wstring(), std::nullopt};
        if (cameraRegistered)
            folders.registeredFilter = (camera / "tlxuvc.ax").wstring();
        return Win32Modules([folders] { return folders; });
    }

    std::filesystem::path program, camera, current;
    wchar_t previousDirectory[MAX_PATH]{};
};

TEST_F(ModuleFolders, TheProgramsFolderComesFirstThenTheCameraSoftwares)
{
    put(camera);
    put(current);
    Win32Modules registered = modules(true);
    platform::ModuleHandle library = registered.load("ZentraSw.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(std::filesystem::equivalent(loadedFrom(library), camera / "ZentraSw.dll"));
    EXPECT_TRUE(registered.release(library));

    put(program);
    library = registered.load("ZentraSw.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(std::filesystem::equivalent(loadedFrom(library), program / "ZentraSw.dll"));
    EXPECT_TRUE(registered.release(library));
}

TEST_F(ModuleFolders, TheCurrentFolderAndRelativePathsAreNeverSearched)
{
    put(current);
    std::filesystem::create_directories(current / "sub");
    put(current / "sub");
    Win32Modules unregistered = modules(false);
    EXPECT_EQ(unregistered.load("ZentraSw.dll"), nullptr);
    EXPECT_EQ(unregistered.load("sub\\ZentraSw.dll"), nullptr);
    EXPECT_EQ(unregistered.load(".\\ZentraSw.dll"), nullptr);
    EXPECT_EQ(GetModuleHandleW(L"ZentraSw.dll"), nullptr);

    // The loader's own search by name takes the current folder in, until
    // it is restricted for the whole process.
    for (const wchar_t *name : {L"Planted7a3e.dll", L"Planted7a3f.dll"})
        std::filesystem::copy_file(runtimeDirectory() / "ZentraSw.dll", current / name);
    HMODULE before = LoadLibraryW(L"Planted7a3e.dll");
    EXPECT_NE(before, nullptr);
    if (before)
        FreeLibrary(before);
    ASSERT_TRUE(platform::restrictModuleSearch());
    EXPECT_EQ(LoadLibraryW(L"Planted7a3f.dll"), nullptr);
}

} // namespace
