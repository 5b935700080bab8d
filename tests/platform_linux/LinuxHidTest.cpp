// The hidraw backend against the camera stand-in's testbed: enumeration and
// path text, attributes, the Windows report layout, the camera's answers,
// and how reads end (cancel, close, unplug, errors).
#include "CameraTestbed.h"
#include "TestSupport.h"
#include "protocol/ButtonReport.h"
#include "platform/linux/LinuxHid.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <future>
#include <thread>

using camera_standin::CameraTestbed;
using camera_standin::findButton;
using platform::HidDevice;
using Device = CameraTestbed::Device;
using ReadStatus = HidDevice::ReadStatus;
using namespace std::chrono_literals;

namespace {

struct ReadResult
{
    ReadStatus status;
    std::vector<std::uint8_t> bytes;
};

ReadResult readReport(HidDevice &device, int timeoutMs, std::size_t bufferSize = 65)
{
    std::vector<std::uint8_t> buffer(bufferSize, 0xEE);
    std::size_t received = 0;
    const ReadStatus status = device.read(buffer.data(), buffer.size(), timeoutMs, received);
    buffer.resize(status == ReadStatus::Data ? received : 0);
    return {status, buffer};
}

// A read on another thread, so that a test can end it from this one.
std::future<ReadResult> blockedRead(const std::shared_ptr<HidDevice> &device)
{
    return std::async(std::launch::async, [device] { return readReport(*device, -1); });
}

class LinuxHidTest : public ::testing::Test
{
protected:
    std::shared_ptr<HidDevice> openCamera()
    {
        int error = -1;
        auto device = hid.open(bed.cameraHidrawNode() + " hid#vid_7a3e&pid_4b20", error);
        EXPECT_TRUE(device) << "errno " << error;
        return device;
    }

    test_support::EventRecorder events;
    CameraTestbed bed{events};
    platform::linux_backend::LinuxHid hid;
};

TEST_F(LinuxHidTest, ListsEveryInterfaceWithItsIdsTheWindowsWay)
{
    const auto none = hid.listInterfaces();
    ASSERT_TRUE(none) << "no devices is an empty list, not an unavailable one";
    EXPECT_TRUE(none->empty());

    ASSERT_TRUE(bed.plug(Device::Camera));
    ASSERT_TRUE(bed.plug(Device::OtherHid));
    const auto paths = hid.listInterfaces();
    ASSERT_TRUE(paths);
    EXPECT_EQ(*paths, (std::vector<std::string>{"/dev/hidraw0 hid#vid_7a3e&pid_4b20",
                                                 "/dev/hidraw1 hid#vid_046d&pid_c31c"}));

    bed.unplug(Device::Camera);
    EXPECT_EQ(*hid.listInterfaces(), std::vector<std::string>{"/dev/hidraw1 hid#vid_046d&pid_c31c"});
}

TEST_F(LinuxHidTest, OpenedCameraHasItsAttributesAndSixtyFiveByteReports)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    auto camera = openCamera();
    ASSERT_TRUE(camera);
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    ASSERT_TRUE(camera->attributes(vendor, product));
    EXPECT_EQ(vendor, 0x7A3E);
    EXPECT_EQ(product, 0x4B20);
    std::size_t length = 0;
    ASSERT_EQ(camera->inputReportLength(length), platform::HidDevice::CapsStatus::Read);
    EXPECT_EQ(length, 65u);
    EXPECT_TRUE(events.waitFor("open node=/dev/hidraw0"));
}

TEST_F(LinuxHidTest, DeviceWithReportIdsKeepsItsIdByteAndLength)
{
    ASSERT_TRUE(bed.plug(Device::OtherHid));
    int error = 0;
    auto keyboard = hid.open(bed.otherHidrawNode(), error);
    ASSERT_TRUE(keyboard) << error;
    std::size_t length = 0;
    ASSERT_EQ(keyboard->inputReportLength(length), platform::HidDevice::CapsStatus::Read);
    EXPECT_EQ(length, 9u);
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    ASSERT_TRUE(keyboard->attributes(vendor, product));
    EXPECT_EQ(vendor, 0x046D);
    EXPECT_EQ(product, 0xC31C);
}

TEST_F(LinuxHidTest, PressArrivesInTheWindowsLayoutFollowedByItsRelease)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    auto camera = openCamera();
    ASSERT_TRUE(camera);

    ASSERT_TRUE(bed.press({*findButton("light")}, false));
    ReadResult press = readReport(*camera, 5000);
    ASSERT_EQ(press.status, ReadStatus::Data);
    ASSERT_EQ(press.bytes.size(), 65u);
    EXPECT_EQ(press.bytes[0], 0) << "the report ID byte Windows puts first";
    EXPECT_EQ(press.bytes[10], 0x20);
    EXPECT_EQ(press.bytes[9], 0);
    const ReadResult release = readReport(*camera, 5000);
    ASSERT_EQ(release.status, ReadStatus::Data);
    EXPECT_EQ(release.bytes, std::vector<std::uint8_t>(65, 0));

    ASSERT_TRUE(bed.press({*findButton("141"), *findButton("rotate")}, true));
    press = readReport(*camera, 5000);
    ASSERT_EQ(press.status, ReadStatus::Data);
    EXPECT_EQ(press.bytes[9], 0x01);
    EXPECT_EQ(press.bytes[10], 0x01);
    EXPECT_EQ(readReport(*camera, 100).status, ReadStatus::TimedOut) << "held: no release yet";
}

TEST_F(LinuxHidTest, ButtonReportsAreAnsweredAndTheZeroReportIsNot)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    auto camera = openCamera();
    ASSERT_TRUE(camera);

    const std::vector<std::uint8_t> zero(65, 0);
    ASSERT_TRUE(camera->write(zero.data(), zero.size()));
    EXPECT_EQ(readReport(*camera, 200).status, ReadStatus::TimedOut);

    for (const std::uint8_t value : {ButtonReport::Light, ButtonReport::Release}) {
        const ButtonReport::Bytes report = ButtonReport{value}.encode();
        ASSERT_TRUE(camera->write(report.data(), report.size()));
        const ReadResult answer = readReport(*camera, 5000);
        ASSERT_EQ(answer.status, ReadStatus::Data);
        EXPECT_EQ(answer.bytes.size(), 65u);
        EXPECT_EQ(answer.bytes[9], 0);
        EXPECT_EQ(answer.bytes[10], 0) << "an answer must not look like a press";
    }
    EXPECT_TRUE(events.waitFor("write len=65 zero"));
    EXPECT_TRUE(events.waitFor("write len=65 button=0x04"));
    EXPECT_TRUE(events.waitFor("light on"));
    EXPECT_TRUE(bed.model().light());
}

TEST_F(LinuxHidTest, ShortAndOddReportsArriveAsSentWithoutOverrun)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    auto camera = openCamera();
    ASSERT_TRUE(camera);

    ASSERT_TRUE(bed.sendReport({0x00, 0x11, 0x22}));
    ReadResult shortReport = readReport(*camera, 5000);
    ASSERT_EQ(shortReport.status, ReadStatus::Data);
    EXPECT_EQ(shortReport.bytes, (std::vector<std::uint8_t>{0x00, 0x11, 0x22}));

    // A full report into a buffer of 5: cut, like hidraw cuts it.
    ASSERT_TRUE(bed.press({*findButton("light")}, true));
    ReadResult cut = readReport(*camera, 5000, 5);
    ASSERT_EQ(cut.status, ReadStatus::Data);
    EXPECT_EQ(cut.bytes.size(), 5u);

    // A buffer with no room beside the report ID byte is refused.
    std::uint8_t tiny[1] = {0xEE};
    std::size_t received = 99;
    EXPECT_EQ(camera->read(tiny, sizeof tiny, 100, received), ReadStatus::Failed);
    EXPECT_EQ(received, 0u);
    EXPECT_EQ(camera->read(nullptr, 0, 100, received), ReadStatus::Failed);
}

TEST_F(LinuxHidTest, CancelIoWakesABlockedReadOnlyOnce)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    auto camera = openCamera();
    ASSERT_TRUE(camera);

    // Without a read in progress there is nothing to cancel.
    camera->cancelIo();
    EXPECT_EQ(readReport(*camera, 100).status, ReadStatus::TimedOut);

    auto reader = blockedRead(camera);
    // cancelIo() affects only a read already waiting, so keep asking until
    // the reader has got there.
    while (reader.wait_for(20ms) != std::future_status::ready)
        camera->cancelIo();
    EXPECT_EQ(reader.get().status, ReadStatus::Cancelled);

    ASSERT_TRUE(bed.press({*findButton("focus")}, true));
    const ReadResult after = readReport(*camera, 5000);
    ASSERT_EQ(after.status, ReadStatus::Data) << "the device stays usable after a cancel";
    EXPECT_EQ(after.bytes[10], 0x10);
}

TEST_F(LinuxHidTest, CloseWakesABlockedReadAndEndsAllIo)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    auto camera = openCamera();
    ASSERT_TRUE(camera);

    auto reader = blockedRead(camera);
    std::this_thread::sleep_for(50ms);
    camera->close();
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(reader.get().status, ReadStatus::Gone);

    EXPECT_EQ(readReport(*camera, 100).status, ReadStatus::Gone);
    const std::vector<std::uint8_t> zero(65, 0);
    EXPECT_FALSE(camera->write(zero.data(), zero.size()));
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    EXPECT_FALSE(camera->attributes(vendor, product));
    std::size_t length = 0;
    EXPECT_EQ(camera->inputReportLength(length), platform::HidDevice::CapsStatus::NoDescriptor);
}

TEST_F(LinuxHidTest, UnplugMakesABlockedReadReturnGone)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    auto camera = openCamera();
    ASSERT_TRUE(camera);

    auto reader = blockedRead(camera);
    std::this_thread::sleep_for(50ms);
    bed.unplug(Device::Camera);
    ASSERT_EQ(reader.wait_for(5s), std::future_status::ready);
    EXPECT_EQ(reader.get().status, ReadStatus::Gone);
    EXPECT_EQ(readReport(*camera, 100).status, ReadStatus::Gone);
    const ButtonReport::Bytes report = ButtonReport{ButtonReport::Light}.encode();
    EXPECT_FALSE(camera->write(report.data(), report.size()));

    // Plugged in again, the camera is a new device; the old handle stays dead.
    ASSERT_TRUE(bed.plug(Device::Camera));
    EXPECT_EQ(readReport(*camera, 100).status, ReadStatus::Gone);
    EXPECT_TRUE(openCamera());
}

TEST_F(LinuxHidTest, ReadErrorsFailTheReadOrMeanTheDeviceIsGone)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    auto camera = openCamera();
    ASSERT_TRUE(camera);

    ASSERT_TRUE(bed.failReads(EPROTO, 2));
    EXPECT_EQ(readReport(*camera, 5000).status, ReadStatus::Failed);
    EXPECT_EQ(readReport(*camera, 5000).status, ReadStatus::Failed);
    ASSERT_TRUE(bed.press({*findButton("light")}, true));
    EXPECT_EQ(readReport(*camera, 5000).status, ReadStatus::Data);

    ASSERT_TRUE(bed.failReads(ENODEV, 1));
    EXPECT_EQ(readReport(*camera, 5000).status, ReadStatus::Gone);
}

TEST_F(LinuxHidTest, OpenReportsWhyItFailed)
{
    int error = 0;
    EXPECT_FALSE(hid.open("hid#vid_7a3e&pid_4b20", error));
    EXPECT_EQ(error, EINVAL);
    EXPECT_FALSE(hid.open("/dev/hidraw7 hid#vid_7a3e&pid_4b20", error));
    EXPECT_EQ(error, ENOENT);
}

} // namespace
