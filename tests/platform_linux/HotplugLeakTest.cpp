// A hundred plug-ins and unplugs, with the camera opened, read and closed
// each time, leave the process with the descriptors it had.
#include "CameraTestbed.h"
#include "TestSupport.h"
#include "platform/linux/LinuxHid.h"

#include <gtest/gtest.h>

using camera_standin::CameraTestbed;
using camera_standin::findButton;
using Device = CameraTestbed::Device;
using ReadStatus = platform::HidDevice::ReadStatus;

namespace {

void plugOpenReadUnplug(CameraTestbed &bed, platform::linux_backend::LinuxHid &hid)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    const auto paths = hid.listInterfaces();
    ASSERT_TRUE(paths && paths->size() == 1);
    int error = 0;
    std::shared_ptr<platform::HidDevice> camera = hid.open(paths->front(), error);
    ASSERT_TRUE(camera) << error;
    ASSERT_TRUE(bed.press({*findButton("rotate")}, true));
    std::uint8_t report[65];
    std::size_t received = 0;
    ASSERT_EQ(camera->read(report, sizeof report, 5000, received), ReadStatus::Data);
    EXPECT_EQ(report[10], 0x01);
    camera->close();
    camera.reset();
    bed.unplug(Device::Camera);
}

TEST(HotplugLeak, HundredPlugCyclesWithTheCameraOpenedLeakNoDescriptor)
{
    test_support::EventRecorder events;
    CameraTestbed bed(events);
    platform::linux_backend::LinuxHid hid;
    plugOpenReadUnplug(bed, hid); // umockdev's first uses set up what it keeps
    const int before = test_support::settledDescriptorCount();
    for (int cycle = 0; cycle < 100 && !HasFatalFailure(); ++cycle)
        plugOpenReadUnplug(bed, hid);
    EXPECT_TRUE(test_support::descriptorCountSettles(before))
        << test_support::openDescriptorCount() << " descriptors open, " << before << " before";
}

TEST(HotplugLeak, UnplugWhileOpenStillLeaksNothingOnceReleased)
{
    test_support::EventRecorder events;
    CameraTestbed bed(events);
    platform::linux_backend::LinuxHid hid;
    plugOpenReadUnplug(bed, hid);
    const int before = test_support::settledDescriptorCount();
    for (int cycle = 0; cycle < 20; ++cycle) {
        ASSERT_TRUE(bed.plug(Device::Camera));
        int error = 0;
        auto camera = hid.open(bed.cameraHidrawNode(), error);
        ASSERT_TRUE(camera);
        bed.unplug(Device::Camera);
        std::uint8_t report[65];
        std::size_t received = 0;
        EXPECT_EQ(camera->read(report, sizeof report, 5000, received), ReadStatus::Gone);
    }
    EXPECT_TRUE(test_support::descriptorCountSettles(before))
        << test_support::openDescriptorCount() << " descriptors open, " << before << " before";
}

} // namespace
