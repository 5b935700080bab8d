// The real ZentraUpdater program, run as a child process beside the
// stand-ins: every text it writes, byte for byte on its own stream, its
// exit status, and what it asked of the library.
#include "FirmwareImage.h"
#include "support/UpdaterSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace updater_tests;
namespace fs = std::filesystem;

const std::string LOAD_FAILED = "Failed to load firmware image data\n";
const std::string DEFAULT_PROGRESS = "5\nVERIFY\n5\n";

void expectRun(const ChildResult &result, bool succeeded, const std::string &out, const std::string &err)
{
    EXPECT_EQ(result.out, out);
    EXPECT_EQ(result.err, err);
    if (succeeded)
        EXPECT_EQ(result.exitStatus, 0);
    else
        EXPECT_NE(result.exitStatus, 0);
}

using Calls = std::vector<std::string>;

class UpdaterProgram : public ::testing::Test
{
protected:
    UpdaterSandbox sandbox;
};

TEST_F(UpdaterProgram, VersionPrintsTheLibrarysTextAsUtf8)
{
    sandbox.setState("FirmwareVersion=TESSEL FW 2.3.4");
    expectRun(sandbox.run({"/version"}), true, "TESSEL FW 2.3.4\n", "");
    EXPECT_EQ(sandbox.calls(), (Calls{"InitLibrary", "GetFirmwareVersionInfo"}));

    sandbox.setState("FirmwareVersion=Kamera \xc3\x9c \xe2\x82\xac");
    expectRun(sandbox.run({"/version"}), true, "Kamera \xc3\x9c \xe2\x82\xac\n", "");
}

TEST_F(UpdaterProgram, LibraryThatDoesNotInitialiseEndsTheRunBeforeTheCommandLine)
{
    for (const char *result : {"0", "2"}) {
        fs::remove(sandbox.folders().callLog);
        sandbox.setState(std::string("InitLibrary=") + result);
        expectRun(sandbox.run({"/version"}), false, "", "Failed to initialize zentra support library\n");
        EXPECT_EQ(sandbox.calls(), (Calls{"InitLibrary"}));
    }
}

TEST(UpdaterLibrary, WithoutItsControlLibraryItSaysWhichAndDoesNothing)
{
    // No filter registered either: on Windows the library is also looked
    // for where the camera's software registered its filter.
    UpdaterSandbox sandbox(FilterSetup::Registrable);
    fs::remove(sandbox.folders().program / CONTROL_LIBRARY);
    const ChildResult result = sandbox.run({"/backup"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              std::string("The camera control library ") + CONTROL_LIBRARY + " was not found " + LIBRARY_PLACES + "\n");
    EXPECT_FALSE(fs::exists(sandbox.workFile("backup.bin")));
}

TEST_F(UpdaterProgram, BackupWritesTheFirmwareAndItsChecksumFile)
{
    expectRun(sandbox.run({"/backup"}), true, "", "");
    std::string pattern(16384, '\0');
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>(i * 7 % 251);
    EXPECT_EQ(readFile(sandbox.workFile("backup.bin")), pattern);
    // md5sum of the pattern; the checksum file is a text file of the system.
    EXPECT_EQ(readFile(sandbox.workFile("backup.bin.md5")),
              std::string("1ed4c5932443f9b719ebd31a8bdfa918") + TEXT_LINE_END);
    EXPECT_EQ(sandbox.calls(), (Calls{"InitLibrary", "FirmwareBackup 16384"}));
}

TEST_F(UpdaterProgram, BackupOfTheCamerasImageReplacesAnOlderBackup)
{
    const std::string image = makeImage(16384, 1);
    sandbox.writeWorkFile("camera.bin", image);
    sandbox.writeWorkFile("backup.bin", "older backup");
    sandbox.setState("BackupImage=" + sandbox.workFile("camera.bin").string());
    expectRun(sandbox.run({"/backup"}), true, "", "");
    EXPECT_EQ(readFile(sandbox.workFile("backup.bin")), image);
    EXPECT_EQ(readFile(sandbox.workFile("backup.bin.md5")), md5Hex(image) + TEXT_LINE_END);
}

TEST_F(UpdaterProgram, FailingBackupWritesNoFile)
{
    sandbox.setState("FirmwareBackup=1");
    expectRun(sandbox.run({"/backup"}), false, "", "Error backing up firmware\n");
    EXPECT_FALSE(fs::exists(sandbox.workFile("backup.bin")));
    EXPECT_FALSE(fs::exists(sandbox.workFile("backup.bin.md5")));
}

TEST_F(UpdaterProgram, BackupThatCannotBeWrittenIsReported)
{
    fs::create_directories(sandbox.workFile("backup.bin") / "taken");
    expectRun(sandbox.run({"/backup"}), false, "", "Can't Write backup.bin\n");
    EXPECT_FALSE(fs::exists(sandbox.workFile("backup.bin.md5")));
    EXPECT_FALSE(fs::exists(sandbox.workFile("backup.bin.partial")));
}

TEST_F(UpdaterProgram, UpdateFromAFileFlashesItWithProgress)
{
    const std::string image = makeImage(16384, 2);
    sandbox.writeImageWithChecksum("image.bin", image);
    expectRun(sandbox.run({"/file", "image.bin"}), true, "UPDATE\n" + DEFAULT_PROGRESS + "Firmware Updated\n", NOT_KEPT_AWAKE);
    EXPECT_EQ(sandbox.flashedImage(), image);
    EXPECT_EQ(sandbox.calls(), (Calls{"InitLibrary", "FirmwareUpdate 16384", "DeInitLibrary"}));
}

TEST_F(UpdaterProgram, LongerImageFileGivesItsFirstBytes)
{
    const std::string image = makeImage(20000, 3);
    sandbox.writeImageWithChecksum("image.bin", image);
    expectRun(sandbox.run({"/file", "image.bin"}), true, "UPDATE\n" + DEFAULT_PROGRESS + "Firmware Updated\n", NOT_KEPT_AWAKE);
    EXPECT_EQ(sandbox.flashedImage(), image.substr(0, 16384));
}

TEST_F(UpdaterProgram, FailingUpdateIsReportedAndDoesNotReleaseTheLibrary)
{
    sandbox.writeImageWithChecksum("image.bin", makeImage(16384, 4));
    sandbox.setState("FirmwareUpdate=1");
    expectRun(sandbox.run({"/file", "image.bin"}), false, "UPDATE\n" + DEFAULT_PROGRESS,
              std::string(NOT_KEPT_AWAKE) + "Firmware update failed\n");
    EXPECT_EQ(sandbox.calls(), (Calls{"InitLibrary", "FirmwareUpdate 16384"}));
}

TEST_F(UpdaterProgram, ProgressFollowsThePhasesOfTheLibrary)
{
    sandbox.writeImageWithChecksum("image.bin", makeImage(16384, 5));
    const std::pair<const char *, const char *> cases[] = {
        {"0x25", ""},
        {"0x52", "5\n10\n"},
        {"2x26", "VERIFY\n5\n"},
        {"0x26,1x1,1x25,0x3", "5\nVERIFY\n5\nVERIFY\n"},
    };
    for (const auto &[phases, printed] : cases) {
        sandbox.setState(std::string("UpdatePhases=") + phases);
        expectRun(sandbox.run({"/file", "image.bin"}), true, std::string("UPDATE\n") + printed + "Firmware Updated\n", NOT_KEPT_AWAKE);
    }
}

TEST_F(UpdaterProgram, ImageFileThatCannotBeUsedIsReportedInOrder)
{
    sandbox.writeWorkFile("short.bin", makeImage(1000, 6));
    const std::string unopenable = makeUnopenablePath(sandbox.folders().work).string();
    const std::pair<std::string, std::string> cases[] = {
        {"missing.bin", "Firmware file does not exist\nCan't get file\n"},
        {unopenable, "Can't Open " + unopenable + "\n"},
        {"short.bin", "Read error - incomplete firmware\n"},
    };
    for (const auto &[path, texts] : cases)
        expectRun(sandbox.run({"/file", path}), false, "", texts + LOAD_FAILED);
    EXPECT_EQ(sandbox.calls(), (Calls{"InitLibrary", "InitLibrary", "InitLibrary"}));
}

TEST_F(UpdaterProgram, ImagePathOf260CharactersIsTooLong)
{
    // "./" repeated keeps both paths pointing into the work folder.
    const std::string image = makeImage(16384, 7);
    sandbox.writeImageWithChecksum("image.bin", image);
    sandbox.writeImageWithChecksum("image1.bin", image);
    std::string dots;
    for (int i = 0; i < 125; ++i)
        dots += "./";
    ASSERT_EQ((dots + "image.bin").size(), 259u);
    ASSERT_EQ((dots + "image1.bin").size(), 260u);
    expectRun(sandbox.run({"/file", dots + "image.bin"}), true, "UPDATE\n" + DEFAULT_PROGRESS + "Firmware Updated\n", NOT_KEPT_AWAKE);
    expectRun(sandbox.run({"/file", dots + "image1.bin"}), false, "",
              "File name exceeds max length\nCan't get file\n" + LOAD_FAILED);
}

TEST_F(UpdaterProgram, AnImageThatExistsAtALongerPathIsTooLongNotMissing)
{
    // On Windows the existence test itself once stopped at 260 characters.
    fs::path folder = sandbox.folders().work;
    while ((folder / "image.bin").string().size() < 300)
        folder /= std::string(40, 'd');
    fs::create_directories(folder);
    const fs::path image = folder / "image.bin";
    std::ofstream(image, std::ios::binary) << makeImage(16384, 10);
    ASSERT_TRUE(fs::exists(image));
    expectRun(sandbox.run({"/file", image.string()}), false, "",
              "File name exceeds max length\nCan't get file\n" + LOAD_FAILED);
}

TEST_F(UpdaterProgram, ChecksumFileMissingIsReportedAfterUpdate)
{
    sandbox.writeWorkFile("image.bin", makeImage(16384, 8));
    expectRun(sandbox.run({"/file", "image.bin"}), false, "UPDATE\n", "Can't Open image.bin.md5\nChecksum failed\n");
    EXPECT_EQ(sandbox.calls(), (Calls{"InitLibrary"}));
}

TEST_F(UpdaterProgram, ChecksumLineMustBeTheDigestAloneInEitherCase)
{
    const std::string image = makeImage(16384, 9);
    sandbox.writeWorkFile("image.bin", image);
    const std::string digest = md5Hex(image);
    std::string upper = digest;
    for (char &c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const std::pair<std::string, bool> cases[] = {
        {upper + "\n", true},
        {digest + "\n" + "second line\n", true},
        // A text-mode read turns CR LF into a line feed on Windows only.
        {digest + "\r\n", std::string(TEXT_LINE_END) == "\r\n"},
        {digest, false},
        {digest + "  image.bin\n", false},
        {"", false},
    };
    for (const auto &[line, accepted] : cases) {
        sandbox.writeWorkFile("image.bin.md5", line);
        if (accepted)
            expectRun(sandbox.run({"/file", "image.bin"}), true, "UPDATE\n" + DEFAULT_PROGRESS + "Firmware Updated\n", NOT_KEPT_AWAKE);
        else
            expectRun(sandbox.run({"/file", "image.bin"}), false, "UPDATE\n", "Checksum failed\n");
    }
}

TEST_F(UpdaterProgram, WithoutArgumentAndWithoutAppendedImageNothingIsRead)
{
    expectRun(sandbox.run({}), false, "", "Read error - incomplete firmware\n" + LOAD_FAILED);
}

// The delivery step: the image is appended to the program file, and its
// checksum file lies beside the program.
void appendImage(const UpdaterSandbox &sandbox, const std::string &image)
{
    const auto program = sandbox.programFile();
    ASSERT_EQ(fs::file_size(program), static_cast<std::uintmax_t>(updater::EMBEDDED_IMAGE_OFFSET));
    std::ofstream(program, std::ios::binary | std::ios::app) << image << "trailing bytes are ignored";
    std::ofstream(program.string() + ".md5", std::ios::binary) << md5Hex(image) << "\n";
}

TEST_F(UpdaterProgram, AppendedImageIsFlashedWithoutArguments)
{
    const std::string image = makeImage(16384, 10);
    appendImage(sandbox, image);
    expectRun(sandbox.run({}), true, "UPDATE\n" + DEFAULT_PROGRESS + "Firmware Updated\n", NOT_KEPT_AWAKE);
    EXPECT_EQ(sandbox.flashedImage(), image);
}

TEST_F(UpdaterProgram, UnrecognisedArgumentsUpdateFromTheAppendedImage)
{
    const std::string image = makeImage(16384, 11);
    appendImage(sandbox, image);
    for (const auto &arguments : std::vector<std::vector<std::string>>{{"/VERSION"}, {"/Backup"}, {"/file"}, {"-version"}}) {
        fs::remove(sandbox.workFile("flashed.bin"));
        expectRun(sandbox.run(arguments), true, "UPDATE\n" + DEFAULT_PROGRESS + "Firmware Updated\n", NOT_KEPT_AWAKE);
        EXPECT_EQ(sandbox.flashedImage(), image) << arguments[0];
    }
    EXPECT_FALSE(fs::exists(sandbox.workFile("backup.bin")));
    for (const auto &call : sandbox.calls())
        EXPECT_TRUE(call != "GetFirmwareVersionInfo" && call != "FirmwareBackup 16384") << call;
}

TEST_F(UpdaterProgram, FilterInPlaceRunsNoRegistrationCommand)
{
    expectRun(sandbox.run({"/version"}), true, "TESSEL FW 1.0.0\n", "");
    EXPECT_EQ(sandbox.calls(), (Calls{"InitLibrary", "GetFirmwareVersionInfo"}));
}

TEST(UpdaterFilter, RegistrationMadeForTheRunIsUndoneAtItsEnd)
{
    UpdaterSandbox sandbox(FilterSetup::Registrable);
    expectRun(sandbox.run({"/version"}), true, "TESSEL FW 1.0.0\n", "");
    const auto registration = registrationLogLines(FilterSetup::Registrable);
    EXPECT_EQ(sandbox.calls(), (Calls{registration[0], "InitLibrary", "GetFirmwareVersionInfo", registration[1]}));
    EXPECT_FALSE(filterAvailable(sandbox.folders()));
}

TEST(UpdaterFilter, FilterThatCannotBeRegisteredEndsTheRun)
{
    UpdaterSandbox sandbox(FilterSetup::Unregistrable);
    expectRun(sandbox.run({"/version"}), false, "", "Error registering tlxuvc\n");
    EXPECT_EQ(sandbox.calls(), registrationLogLines(FilterSetup::Unregistrable));
}

} // namespace
