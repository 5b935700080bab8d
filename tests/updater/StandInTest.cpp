// The control library stand-in as other programs meet it: its state file
// format, read afresh at every call, and what each export answers.
#include "StandInState.h"
#include "ZentraSw.h"
#include "support/TestPlatform.h"
#include "support/UpdaterSandbox.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace {

using zentrasw::StandInState;
namespace fs = std::filesystem;

TEST(StandInState, ParsesKeysValuesAndComments)
{
    const auto state = StandInState::parse("# behaviour\n"
                                           "  InitLibrary = 7  \r\n"
                                           "GetAFStatus=-1 # failing\n"
                                           "AFStatusValue=0x10\n"
                                           "FirmwareVersion=FW#2 beta\n"
                                           "Unknown=whatever\n"
                                           "no equals sign\n"
                                           "AFFreezeControl=five\n"
                                           "InitLibrary=8\n");
    EXPECT_EQ(state.number("InitLibrary", 1), 8); // the last line wins
    EXPECT_EQ(state.number("GetAFStatus", 0), -1);
    EXPECT_EQ(state.number("AFStatusValue", 0), 16);
    EXPECT_EQ(state.number("AFFreezeControl", 3), 3);
    EXPECT_EQ(state.number("DeInitLibrary", 1), 1);
    EXPECT_EQ(state.text("FirmwareVersion", "x"), "FW#2 beta");
    EXPECT_EQ(state.text("BackupImage", "none"), "none");
}

TEST(StandInState, ParsesUpdatePhases)
{
    const auto phases = zentrasw::parseUpdatePhases(" 0x26, 1x3 ,bad,2x,x4,5x0");
    ASSERT_EQ(phases.size(), 3u);
    EXPECT_EQ(phases[0].phase, 0);
    EXPECT_EQ(phases[0].calls, 26);
    EXPECT_EQ(phases[1].phase, 1);
    EXPECT_EQ(phases[1].calls, 3);
    EXPECT_EQ(phases[2].phase, 5);
    EXPECT_EQ(phases[2].calls, 0);
}

// The exports, called in this process with a state file of the test's own.
class StandInExports : public ::testing::Test
{
protected:
    StandInExports()
    {
        folder = fs::temp_directory_path() / ("zentra-standin-" + std::to_string(std::random_device()()));
        fs::create_directories(folder);
        updater_tests::setEnvironmentVariable("ZENTRASW_STATE", (folder / "state.txt").string());
    }
    ~StandInExports() override
    {
        updater_tests::setEnvironmentVariable("ZENTRASW_STATE", "");
        fs::remove_all(folder);
    }

    void setState(const std::string &text)
    {
        // Replaced by rename, as the camera stand-in does.
        std::ofstream(folder / "state.new", std::ios::binary) << text;
        fs::rename(folder / "state.new", folder / "state.txt");
    }

    fs::path folder;
};

TEST_F(StandInExports, DefaultsApplyWithoutAStateFile)
{
    EXPECT_EQ(InitLibrary(), 1);
    EXPECT_EQ(DeInitLibrary(), 1);
    EXPECT_EQ(GetLedStatus(), 0);
    int status = 99;
    EXPECT_EQ(GetAFStatus(&status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(AFFreezeControl(5), 0);
    ZentraWideChar version[ZENTRA_VERSION_TEXT_CAPACITY] = {};
    GetFirmwareVersionInfo(version);
    EXPECT_EQ(std::u16string(version, version + 15), u"TESSEL FW 1.0.0");
    EXPECT_EQ(version[15], 0);
}

TEST_F(StandInExports, StateIsReadAgainAtEveryCall)
{
    setState("light=1\n");
    EXPECT_EQ(GetLedStatus(), 1);
    setState("light=0\n");
    EXPECT_EQ(GetLedStatus(), 0);
    setState("light=1\nGetLedStatus=\n"); // empty: the light decides
    EXPECT_EQ(GetLedStatus(), 1);
    setState("light=1\nGetLedStatus=2\n");
    EXPECT_EQ(GetLedStatus(), 2);
    setState("GetAFStatus=5\nAFStatusValue=3\nAFFreezeControl=-1\nInitLibrary=0\n");
    int status = 0;
    EXPECT_EQ(GetAFStatus(&status), 5);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(AFFreezeControl(5), -1);
    EXPECT_EQ(InitLibrary(), 0);
}

TEST_F(StandInExports, CallLogRecordsEveryCallInOrder)
{
    const auto log = folder / "calls.log";
    setState("CallLog=" + log.string() + "\nFirmwareUpdate=3\nUpdatePhases=\n");
    InitLibrary();
    AFFreezeControl(5);
    int status = 0;
    GetAFStatus(&status);
    unsigned char image[16384] = {};
    EXPECT_EQ(FirmwareUpdate(image, 16384, nullptr), 3);
    DeInitLibrary();
    EXPECT_EQ(updater_tests::readFile(log), "InitLibrary\nAFFreezeControl 5\nGetAFStatus\nFirmwareUpdate 16384\nDeInitLibrary\n");
}

std::vector<int> progressWords;
void recordProgress(int, int word)
{
    progressWords.push_back(word);
}

TEST_F(StandInExports, UpdateCallsBackPhasesWithNoiseInTheUpperBytesAndKeepsTheImage)
{
    setState("UpdatePhases=0x2,7x1\nUpdateImageOut=" + (folder / "out.bin").string() + "\n");
    const std::string image = updater_tests::makeImage(16384, 5);
    progressWords.clear();
    EXPECT_EQ(FirmwareUpdate(reinterpret_cast<const unsigned char *>(image.data()), 16384, &recordProgress), 0);
    ASSERT_EQ(progressWords.size(), 3u);
    EXPECT_EQ(progressWords[0] & 0xFF, 0);
    EXPECT_EQ(progressWords[2] & 0xFF, 7);
    EXPECT_NE(progressWords[0] & ~0xFF, 0);
    EXPECT_EQ(updater_tests::readFile(folder / "out.bin"), image);
}

TEST_F(StandInExports, BackupFillsThePatternOrTheNamedImage)
{
    unsigned char buffer[16384];
    int written = 0;
    EXPECT_EQ(FirmwareBackup(buffer, 16384, &written, 0), 0);
    EXPECT_EQ(written, 16384);
    EXPECT_EQ(buffer[1000], 1000 * 7 % 251);

    const std::string image = updater_tests::makeImage(20000, 9);
    std::ofstream(folder / "image.bin", std::ios::binary) << image;
    setState("BackupImage=" + (folder / "image.bin").string() + "\n");
    EXPECT_EQ(FirmwareBackup(buffer, 16384, &written, 0), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 16384), image.substr(0, 16384));

    setState("FirmwareBackup=-4\n");
    EXPECT_EQ(FirmwareBackup(buffer, 16384, &written, 0), -4);
}

TEST_F(StandInExports, LongVersionTextStaysTerminatedInItsBuffer)
{
    setState("FirmwareVersion=" + std::string(300, 'v') + "\n");
    ZentraWideChar version[ZENTRA_VERSION_TEXT_CAPACITY + 1];
    std::fill(std::begin(version), std::end(version), ZentraWideChar('#'));
    GetFirmwareVersionInfo(version);
    EXPECT_EQ(version[254], 'v');
    EXPECT_EQ(version[255], 0);
    EXPECT_EQ(version[256], '#'); // nothing written past the buffer
}

} // namespace
