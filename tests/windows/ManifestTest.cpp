// The updater asks for no elevation. Without a manifest saying so, Windows
// would guess from "Updater" in its name that it installs something and
// ask for administrator rights.
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

TEST(UpdaterManifest, RequestsExecutionLevelAsInvoker)
{
    const auto program = (updater_tests::runtimeDirectory() / updater_tests::UPDATER_PROGRAM).string();
    HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    // RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(resource, nullptr);
    const auto *text = static_cast<const char *>(LockResource(LoadResource(module, resource)));
    const std::string manifest(text, SizeofResource(module, resource));
    FreeLibrary(module);
    EXPECT_NE(manifest.find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos);
}

} // namespace
