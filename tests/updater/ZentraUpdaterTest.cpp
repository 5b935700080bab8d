// The updater's flow with fake surroundings: the order of the filter
// steps, what is and is not called on each path, and the faults where the
// flow decides for itself (no digest, no program path, unwritable backup).
#include "ZentraUpdater.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <vector>

namespace {

using updater::EXIT_FAILED;
using updater::EXIT_SUCCEEDED;
namespace fs = std::filesystem;

// Both streams in one transcript: "1>" standard output, "2>" standard
// error, "|" a flush of standard output.
class FakeConsole final : public updater::Console
{
public:
    void out(std::string_view text) override
    {
        transcript += "1>" + std::string(text);
        outText += text;
    }
    void err(std::string_view text) override
    {
        transcript += "2>" + std::string(text);
        errText += text;
    }
    void flushOut() override { transcript += "|"; }
    bool watchedOnTerminal() const override { return terminal; }

    std::string transcript;
    std::string outText;
    std::string errText;
    bool terminal = false;
};

class FakeLibrary final : public updater::ControlLibrary
{
public:
    int initLibrary() override { return record("init", 1); }
    int deInitLibrary() override { return record("deinit", 1); }
    int getFirmwareVersionInfo(ZentraWideChar *buffer) override
    {
        for (std::size_t i = 0; i < version.size(); ++i)
            buffer[i] = static_cast<ZentraWideChar>(version[i]);
        return record("version", 0);
    }
    int firmwareBackup(unsigned char *buffer, int size, int *, int) override
    {
        for (int i = 0; i < size; ++i)
            buffer[i] = static_cast<unsigned char>(i * 3);
        return record("backup", 0);
    }
    int firmwareUpdate(const unsigned char *, int, ZentraProgressCallback progress) override
    {
        for (const int phase : phases)
            progress(0, phase);
        return record("update", 0);
    }

    std::u16string version = u"FW 1";
    std::vector<int> phases;
    std::vector<std::string> calls;

private:
    int record(const char *call, int result)
    {
        calls.emplace_back(call);
        return result;
    }
};

class FakeFilter final : public platform::FilterRegistration
{
public:
    void openSession() override { calls.emplace_back("open"); }
    void closeSession() override { calls.emplace_back("close"); }
    bool filterInPlace() override
    {
        calls.emplace_back("check");
        return registered || inPlace;
    }
    void registerFilter() override
    {
        calls.emplace_back("register");
        registered = registrable;
    }
    void unregisterFilter() override
    {
        calls.emplace_back("unregister");
        registered = false;
    }

    bool inPlace = true;
    bool registrable = true;
    bool registered = false;
    std::vector<std::string> calls;
};

class ZentraUpdaterTest : public ::testing::Test
{
protected:
    ZentraUpdaterTest()
    {
        folder = fs::temp_directory_path() / ("zentra-flow-" + std::to_string(std::random_device()()));
        fs::create_directories(folder);
        programFile = (folder / "ZentraUpdater").string();
    }
    ~ZentraUpdaterTest() override { fs::remove_all(folder); }

    int run(const std::vector<std::string> &arguments)
    {
        updater::UpdaterServices services(console, library, filter);
        services.md5 = [this](const unsigned char *data, std::size_t size) {
            return md5Works ? platform::computeMd5(data, size) : std::nullopt;
        };
        services.programFile = [this]() -> std::optional<std::string> { return programFile; };
        services.backupDirectory = folder.string();
        updater::ZentraUpdater program(services);
        return program.run(arguments);
    }

    // An image file with its checksum file; returns the image's path.
    std::string writeImage(const std::string &checksumLine)
    {
        const std::string path = (folder / "image.bin").string();
        std::ofstream(path, std::ios::binary) << std::string(16384, 'I');
        std::ofstream(path + ".md5", std::ios::binary) << checksumLine;
        return path;
    }

    // Every entry of the folder by name: a file's bytes, or "<folder>".
    std::map<std::string, std::string> folderContent() const
    {
        std::map<std::string, std::string> content;
        for (const auto &entry : fs::directory_iterator(folder)) {
            std::string bytes = "<folder>";
            if (!entry.is_directory()) {
                std::ifstream file(entry.path(), std::ios::binary);
                bytes.assign(std::istreambuf_iterator<char>(file), {});
            }
            content[entry.path().filename().string()] = bytes;
        }
        return content;
    }

    // "IIII..." (16384 bytes), as md5sum prints it.
    static constexpr const char *IMAGE_DIGEST = "63019f8e5a74c5c72d8f8d9becd6d6db";

    fs::path folder;
    std::optional<std::string> programFile;
    bool md5Works = true;
    FakeConsole console;
    FakeLibrary library;
    FakeFilter filter;
};

} // namespace

// The COM session encloses the filter steps, whether the run registered
// the filter for itself or could not.
TEST_F(ZentraUpdaterTest, RegistrationIsUndoneWithinTheSession)
{
    const std::vector<std::string> steps{"open", "check", "register", "check", "unregister", "close"};
    filter.inPlace = false;
    EXPECT_EQ(run({"/version"}), EXIT_SUCCEEDED);
    EXPECT_EQ(filter.calls, steps);
    EXPECT_EQ(library.calls, (std::vector<std::string>{"init", "version"}));

    filter.calls.clear();
    library.calls.clear();
    console.transcript.clear();
    filter.registrable = false;
    EXPECT_EQ(run({"/version"}), EXIT_FAILED);
    EXPECT_EQ(filter.calls, steps);
    EXPECT_TRUE(library.calls.empty());
    EXPECT_EQ(console.transcript, "2>Error registering tlxuvc\n");
}

TEST_F(ZentraUpdaterTest, DigestThatCannotBeComputedFailsTheChecksum)
{
    // Even a checksum file that is empty, like a digest never computed.
    md5Works = false;
    for (const std::string &line : {std::string(), std::string(IMAGE_DIGEST) + "\n"}) {
        console.transcript.clear();
        library.calls.clear();
        EXPECT_EQ(run({"/file", writeImage(line)}), EXIT_FAILED);
        EXPECT_EQ(console.transcript, "1>UPDATE\n|2>Checksum failed\n");
        EXPECT_EQ(library.calls, (std::vector<std::string>{"init"}));
    }

    console.transcript.clear();
    EXPECT_EQ(run({"/backup"}), EXIT_FAILED);
    EXPECT_EQ(console.transcript, "2>Checksum failed\n");
    EXPECT_FALSE(fs::exists(folder / "backup.bin"));
    EXPECT_FALSE(fs::exists(folder / "backup.bin.md5"));
}

TEST_F(ZentraUpdaterTest, ProgramPathThatCannotBeToldOrIsTooLongGivesNoImageFile)
{
    for (const auto &path : {std::optional<std::string>(), std::optional<std::string>(std::string(260, 'p'))}) {
        programFile = path;
        console.transcript.clear();
        EXPECT_EQ(run({}), EXIT_FAILED);
        EXPECT_EQ(console.transcript, "2>Can't get file\n2>Failed to load firmware image data\n");
    }
}

TEST_F(ZentraUpdaterTest, BackupThatCannotBeWrittenIsReportedAndLeavesNoFile)
{
    // The checksum file's name is taken by a folder: the image file must
    // not appear alone either.
    fs::create_directory(folder / "backup.bin.md5");
    fs::create_directory(folder / "backup.bin.md5" / "inside");
    EXPECT_EQ(run({"/backup"}), EXIT_FAILED);
    EXPECT_EQ(console.transcript, "2>Can't Write " + (folder / "backup.bin.md5").string() + "\n");
    EXPECT_FALSE(fs::exists(folder / "backup.bin"));
    EXPECT_FALSE(fs::exists(folder / "backup.bin.partial"));
    EXPECT_FALSE(fs::exists(folder / "backup.bin.md5.partial"));

    // The same with an older image in place, which the checksum file's
    // failure comes too late to spare unless it was kept aside.
    std::ofstream(folder / "backup.bin", std::ios::binary) << "older image";
    console.transcript.clear();
    EXPECT_EQ(run({"/backup"}), EXIT_FAILED);
    EXPECT_EQ(console.transcript, "2>Can't Write " + (folder / "backup.bin.md5").string() + "\n");
    EXPECT_EQ(folderContent(), (std::map<std::string, std::string>{{"backup.bin", "older image"},
                                                                    {"backup.bin.md5", "<folder>"}}));

    // Once the name is free, a new pair replaces the older files and
    // nothing else stays behind.
    fs::remove_all(folder / "backup.bin.md5");
    std::ofstream(folder / "backup.bin.md5") << "older digest\n";
    console.transcript.clear();
    EXPECT_EQ(run({"/backup"}), EXIT_SUCCEEDED);
    EXPECT_EQ(console.transcript, "");
    auto written = folderContent();
    std::string image(16384, '\0');
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 3);
    EXPECT_EQ(written["backup.bin"], image);
    const std::string digestLine = written["backup.bin.md5"];
    EXPECT_GT(digestLine.size(), 32u);
    EXPECT_EQ(digestLine.substr(0, 32).find_first_not_of("0123456789abcdef"), std::string::npos) << digestLine;
    EXPECT_EQ(written.size(), 2u);
}

TEST_F(ZentraUpdaterTest, ProgressBarGoesToStandardErrorOnlyOnATerminal)
{
    library.phases = std::vector<int>(26, 0);
    library.phases.insert(library.phases.end(), 26, 1);
    const std::string image = writeImage(std::string(IMAGE_DIGEST) + "\n");

    ASSERT_EQ(run({"/file", image}), EXIT_SUCCEEDED);
    const std::string plain = console.transcript;
    EXPECT_EQ(plain, "1>UPDATE\n|1>5\n|1>VERIFY\n|1>5\n|1>Firmware Updated\n");

    console = FakeConsole();
    console.terminal = true;
    ASSERT_EQ(run({"/file", image}), EXIT_SUCCEEDED);
    EXPECT_EQ(console.outText, "UPDATE\n5\nVERIFY\n5\nFirmware Updated\n");
    EXPECT_NE(console.errText.find("\rphase 1 ["), std::string::npos);
    // Every text on standard output starts on a blanked line, and the run
    // leaves the line blank.
    EXPECT_NE(console.transcript.find("\r1>VERIFY\n"), std::string::npos);
    EXPECT_EQ(console.errText.back(), '\r');
}
