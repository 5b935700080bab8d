// Our programs tell the loader where their own imports may come from (the
// load configuration's DependentLoadFlags): System32 only, or System32 and
// the program's folder for the watchdog, which imports Qt from there. Read
// from the files as Windows reads them: the PE headers, the load
// configuration directory, the field at 0x4E.
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

std::uint32_t little(const std::string &bytes, std::size_t at, int width)
{
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    return value;
}

struct LoadConfig
{
    std::uint32_t size;
    std::uint16_t dependentLoadFlags;
};

// The load configuration of a 64-bit PE file; nothing when it has none.
std::optional<LoadConfig> loadConfigOf(const std::filesystem::path &program)
{
    std::ifstream in(program, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t header = little(file, 0x3C, 4);
    if (file.compare(header, 4, std::string("PE\0\0", 4)) != 0)
        throw std::runtime_error(program.string() + " is not a PE file");
    const std::size_t optional = header + 24;
    if (little(file, optional, 2) != 0x20B) // PE32+
        throw std::runtime_error(program.string() + " is not a 64-bit program");
    const std::size_t sections = optional + little(file, header + 20, 2);
    const std::size_t sectionCount = little(file, header + 6, 2);
    // The data directories begin at 112 in PE32+; the load configuration is
    // the eleventh.
    const std::uint32_t address = little(file, optional + 112 + 10 * 8, 4);
    const std::uint32_t directorySize = little(file, optional + 112 + 10 * 8 + 4, 4);
    if (address == 0 || directorySize == 0)
        return std::nullopt;
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::size_t section = sections + i * 40;
        const std::uint32_t start = little(file, section + 12, 4);
        const std::uint32_t length = little(file, section + 8, 4);
        if (address >= start && address < start + length) {
            const std::size_t at = little(file, section + 20, 4) + (address - start);
            return LoadConfig{little(file, at, 4), static_cast<std::uint16_t>(little(file, at + 0x4E, 2))};
        }
    }
    throw std::runtime_error(program.string() + ": the load configuration lies in no section");
}

void expectFlags(const char *program, std::uint16_t flags)
{
    const auto config = loadConfigOf(updater_tests::runtimeDirectory() / program);
    ASSERT_TRUE(config.has_value()) << program << " has no load configuration";
    EXPECT_GE(config->size, 0x50u) << program;
    EXPECT_EQ(config->dependentLoadFlags, flags) << program;
}

constexpr std::uint16_t System32 = 0x800;
constexpr std::uint16_t ApplicationFolder = 0x200;

TEST(LoadConfiguration, OurProgramsTakeTheirImportsFromSystem32AndTheirOwnFolderOnly)
{
    expectFlags("ZentraUpdater.exe", System32);
#ifdef TESSEL_WINDOWS_WATCHDOG_BUILT
    expectFlags("TesselSetupHelper.exe", System32);
    expectFlags("tesselwatchdogapplication.exe", System32 | ApplicationFolder);
#endif
    // The test program itself sets nothing: the check can tell.
    EXPECT_FALSE(loadConfigOf(updater_tests::runtimeDirectory() / "windows_updater_test.exe").has_value());
}

} // namespace
