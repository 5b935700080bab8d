// Where the Windows updater takes its control library from: beside itself,
// then where the camera's software registered its filter, and never from
// the current folder or PATH, where any user may plant a DLL of that name.
// The library stand-in writes its path into ZENTRASW_LOADED at every load.
#include "support/UpdaterSandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

using namespace updater_tests;
namespace fs = std::filesystem;

int regsvr32(const fs::path &filter)
{
    ChildCommand command;
    command.program = "C:\\windows\\system32\\regsvr32.exe";
    command.arguments = {"/s", filter.string()};
    return runChild(command).exitStatus;
}

std::vector<std::string> loadLines(const fs::path &file)
{
    std::vector<std::string> lines;
    if (!fs::exists(file))
        return lines;
    std::string text = readFile(file);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return lines;
}

TEST(UpdaterModuleSearch, ALibraryPlantedInTheCurrentFolderOrOnThePathIsNeverLoaded)
{
    // No filter registered anywhere (only one beside the program, which the
    // run never gets to register): no folder of the camera's software.
    UpdaterSandbox sandbox(FilterSetup::Registrable);
    fs::remove(sandbox.folders().program / CONTROL_LIBRARY);
    fs::copy_file(runtimeDirectory() / CONTROL_LIBRARY, sandbox.workFile(CONTROL_LIBRARY));
    fs::copy_file(runtimeDirectory() / CONTROL_LIBRARY, sandbox.folders().tools / CONTROL_LIBRARY);
    const char *path = std::getenv("PATH");
    sandbox.setEnvironment("PATH", sandbox.folders().tools.string() + ";" + (path ? path : ""));
    const fs::path loaded = sandbox.workFile("loaded.txt");
    sandbox.setEnvironment("ZENTRASW_LOADED", loaded.string());

    const ChildResult result = sandbox.run({"/version"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err,
              std::string("The camera control library ") + CONTROL_LIBRARY + " was not found " + LIBRARY_PLACES + "\n");
    EXPECT_EQ(loadLines(loaded), std::vector<std::string>{});
    EXPECT_EQ(sandbox.calls(), std::vector<std::string>{});
}

TEST(UpdaterModuleSearch, TheLibraryComesFromWhereTheCamerasSoftwareRegisteredItsFilter)
{
    UpdaterSandbox sandbox;
    fs::remove(sandbox.folders().program / CONTROL_LIBRARY);
    // The camera's software: the filter and the library in a folder of
    // their own, the filter registered from there.
    const fs::path camera = sandbox.folders().program.parent_path() / "camera";
    fs::create_directories(camera);
    for (const char *file : {CONTROL_LIBRARY, FILTER_MODULE})
        fs::copy_file(runtimeDirectory() / file, camera / file);
    ASSERT_EQ(regsvr32(camera / FILTER_MODULE), 0);
    // A copy in the current folder comes before it in the loader's own
    // search, and must lose.
    fs::copy_file(runtimeDirectory() / CONTROL_LIBRARY, sandbox.workFile(CONTROL_LIBRARY));
    const fs::path loaded = sandbox.workFile("loaded.txt");
    sandbox.setEnvironment("ZENTRASW_LOADED", loaded.string());

    const ChildResult result = sandbox.run({"/version"});
    // The filter the other tests expect, registered again before anything
    // can fail.
    regsvr32(runtimeDirectory() / FILTER_MODULE);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "TESSEL FW 1.0.0\n");
    const std::vector<std::string> lines = loadLines(loaded);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(fs::equivalent(fs::path(std::u8string(lines[0].begin(), lines[0].end())), camera / CONTROL_LIBRARY))
        << lines[0];
}

} // namespace
