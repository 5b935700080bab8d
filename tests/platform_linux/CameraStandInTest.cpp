// The camera stand-in's own logic: buttons, the camera's answers and light,
// the state file it shares with the control library stand-in, and its
// command language.
#include "CameraControl.h"
#include "CameraModel.h"
#include "CameraTestbed.h"
#include "StateFile.h"
#include "TestSupport.h"
#include "protocol/ButtonReport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace camera_standin;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream file(path);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

class TemporaryFolder
{
public:
    TemporaryFolder()
    {
        char pattern[] = "/tmp/tessel-camera-test-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path); }
    std::string file(const std::string &name) const { return path + "/" + name; }

private:
    std::string path;
};

std::vector<std::uint8_t> buttonReport(std::uint8_t value)
{
    const ButtonReport::Bytes bytes = ButtonReport{value}.encode();
    return {bytes.begin(), bytes.end()};
}

TEST(Buttons, FoundByNameCodeOrPosition)
{
    EXPECT_EQ(findButton("light")->code, 116);
    EXPECT_EQ(findButton("116")->mask, 0x20);
    EXPECT_EQ(findButton("10.5")->code, 116);
    EXPECT_EQ(findButton("9.0")->code, 141);
    EXPECT_EQ(findButton("rotate")->byte, 10u);
    EXPECT_FALSE(findButton("9.1")) << "byte 9 carries only bit 0";
    EXPECT_FALSE(findButton("10.8"));
    EXPECT_FALSE(findButton("lamp"));
    EXPECT_FALSE(findButton(""));
    EXPECT_FALSE(findButton("117"));
}

TEST(CameraModel, PressIsOneReportWithTheBitsThenAnAllZeroRelease)
{
    const CameraModel model;
    const auto reports = model.press({*findButton("light"), *findButton("141")}, false);
    ASSERT_EQ(reports.size(), 2u);
    ASSERT_EQ(reports[0].size(), 65u);
    EXPECT_EQ(reports[0][10], 0x20);
    EXPECT_EQ(reports[0][9], 0x01);
    EXPECT_EQ(reports[1], Report(65, 0));
    EXPECT_EQ(model.press({*findButton("rotate")}, true).size(), 1u);
}

TEST(CameraModel, AnswersButtonReportsOnlyAndClassifiesWrites)
{
    CameraModel model;
    const auto zero = model.handleWrite(std::vector<std::uint8_t>(65, 0));
    EXPECT_EQ(zero.kind, CameraModel::WriteOutcome::Kind::Zero);
    EXPECT_FALSE(zero.answer);

    const auto rotate = model.handleWrite(buttonReport(ButtonReport::Rotate));
    EXPECT_EQ(rotate.kind, CameraModel::WriteOutcome::Kind::ButtonReport);
    EXPECT_EQ(rotate.buttonValue, ButtonReport::Rotate);
    ASSERT_TRUE(rotate.answer);
    EXPECT_EQ(*rotate.answer, Report(65, 0));

    const auto other = model.handleWrite({0x00, 0x07, 0x01});
    EXPECT_EQ(other.kind, CameraModel::WriteOutcome::Kind::Other);
    EXPECT_FALSE(other.answer);
    EXPECT_EQ(model.handleWrite({}).kind, CameraModel::WriteOutcome::Kind::Other);

    model.setAnswering(false);
    EXPECT_FALSE(model.handleWrite(buttonReport(ButtonReport::Rotate)).answer);
}

TEST(CameraModel, LightTogglesOnLightThenReleaseAndIsSaved)
{
    TemporaryFolder folder;
    const std::string path = folder.file("state");
    {
        std::ofstream(path) << "# control library state\nfocus=ok\nlight=1\nfirmware=1.2\n";
    }
    CameraModel model(path);
    EXPECT_TRUE(model.light()) << "the state file's light is the start state";

    EXPECT_FALSE(model.handleWrite(buttonReport(ButtonReport::Release)).lightChanged);
    EXPECT_FALSE(model.handleWrite(buttonReport(ButtonReport::Light)).lightChanged);
    const auto off = model.handleWrite(buttonReport(ButtonReport::Release));
    ASSERT_TRUE(off.lightChanged);
    EXPECT_FALSE(*off.lightChanged);
    EXPECT_EQ(readFile(path), "# control library state\nfocus=ok\nlight=0\nfirmware=1.2\n");

    // A rotate between press and release is no light toggle.
    model.handleWrite(buttonReport(ButtonReport::Light));
    model.handleWrite(buttonReport(ButtonReport::Rotate));
    EXPECT_FALSE(model.handleWrite(buttonReport(ButtonReport::Release)).lightChanged);

    model.handleWrite(buttonReport(ButtonReport::Light));
    EXPECT_TRUE(*model.handleWrite(buttonReport(ButtonReport::Release)).lightChanged);
    EXPECT_EQ(StateFile(path).value("light"), "1");
}

TEST(StateFile, SetAddsOrReplacesOneKeyAndLeavesNoTemporaryFile)
{
    TemporaryFolder folder;
    StateFile missing(folder.file("new"));
    EXPECT_FALSE(missing.value("light"));
    ASSERT_TRUE(missing.set("light", "1"));
    EXPECT_EQ(readFile(folder.file("new")), "light=1\n");

    const std::string path = folder.file("state");
    std::ofstream(path) << "#light=9\n  light = 0  \nother=x=y\n";
    StateFile state(path);
    EXPECT_EQ(state.value("light"), "0");
    EXPECT_EQ(state.value("other"), "x=y");
    ASSERT_TRUE(state.set("light", "1"));
    EXPECT_EQ(readFile(path), "#light=9\nlight=1\nother=x=y\n");
    for (const auto &entry : std::filesystem::directory_iterator(std::filesystem::path(path).parent_path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);

    StateFile unwritable("/nonexistent/folder/state");
    EXPECT_FALSE(unwritable.set("light", "1"));
}

TEST(CameraControl, ParsesHexAndErrnoNames)
{
    EXPECT_EQ(CameraControl::parseHex({"00", "0a", "FF"}), (std::vector<std::uint8_t>{0x00, 0x0A, 0xFF}));
    EXPECT_EQ(CameraControl::parseHex({"000aff"}), (std::vector<std::uint8_t>{0x00, 0x0A, 0xFF}));
    EXPECT_FALSE(CameraControl::parseHex({"0"}));
    EXPECT_FALSE(CameraControl::parseHex({"0g"}));
    EXPECT_EQ(CameraControl::parseErrno("EIO"), EIO);
    EXPECT_EQ(CameraControl::parseErrno("71"), 71);
    EXPECT_FALSE(CameraControl::parseErrno("ENOSUCH"));
    EXPECT_FALSE(CameraControl::parseErrno("0"));
}

TEST(CameraControl, CommandsDriveTheTestbedAndMistakesOnlyAnswerAnError)
{
    test_support::EventRecorder events;
    CameraTestbed bed(events);
    CameraControl control(bed, events);

    EXPECT_EQ(control.execute("press light"), CameraControl::Outcome::Continue);
    EXPECT_TRUE(events.waitFor("error the camera is not plugged in"));
    control.execute("plug camera");
    EXPECT_TRUE(bed.plugged(CameraTestbed::Device::Camera));
    control.execute("plug camera");
    EXPECT_TRUE(events.waitFor("error camera is already plugged in"));

    control.execute("press onoff+10.5");
    EXPECT_TRUE(events.waitFor("press onoff+light"));
    EXPECT_EQ(events.count("input len=65 "), 2);
    control.execute("report 00 01 02");
    EXPECT_TRUE(events.waitFor("input len=3 data=000102"));

    const int errorsBefore = events.count("error ");
    for (const char *mistake : {"press", "press lamp", "press light later", "report 01 02", "report 00",
                                "report 0", "fail-read 0", "fail-read 1 ENOSUCH", "plug printer",
                                "answer maybe", "sleep x", "frobnicate"})
        control.execute(mistake);
    EXPECT_EQ(events.count("error "), errorsBefore + 12);
    EXPECT_EQ(events.count("input "), 3) << "no mistake sent a report";

    control.execute("# a comment");
    control.execute("");
    EXPECT_EQ(events.count("error "), errorsBefore + 12);

    control.execute("fail-read 2 EIO");
    EXPECT_TRUE(events.waitFor("fail-read count=2 errno=EIO"));
    control.execute("answer off");
    EXPECT_FALSE(bed.model().answering());
    control.execute("status");
    EXPECT_TRUE(events.waitFor("status camera=plugged hid=unplugged usb=unplugged light=off answer=off"));
    control.execute("unplug camera");
    EXPECT_TRUE(events.waitFor("unplug camera"));
    EXPECT_EQ(control.execute("quit"), CameraControl::Outcome::Quit);
}

} // namespace
