// The video4linux listing: numeric order, USB ids and name in the path text,
// the slots of devices whose path cannot be built, and no place for nodes
// that cannot capture video.
#include "CameraTestbed.h"
#include "TestSupport.h"
#include "platform/linux/LinuxVideoDevices.h"

#include <gtest/gtest.h>

#include <filesystem>

using camera_standin::CameraTestbed;
using Device = CameraTestbed::Device;

namespace {

class LinuxVideoDevicesTest : public ::testing::Test
{
protected:
    // A video node below its own USB device, or without one, with what
    // udev found out about it, if anything.
    void addVideo(unsigned number, const std::optional<std::string> &name, bool usbParent,
                  const std::optional<std::string> &udevCapabilities = std::nullopt)
    {
        auto &testbed = bed.testbed();
        std::string parent;
        if (usbParent) {
            parent = testbed.addDevice("usb", "usb2/2-" + std::to_string(number), {},
                                       {{"idVendor", "1d6b"}, {"idProduct", "01a" + std::to_string(number % 10)}},
                                       {{"DEVTYPE", "usb_device"}});
            ASSERT_FALSE(parent.empty());
        }
        const std::string node = "video" + std::to_string(number);
        camera_standin::NameValues attributes{{"dev", "81:" + std::to_string(number)}};
        if (name)
            attributes.emplace_back("name", *name);
        camera_standin::NameValues properties{{"DEVNAME", "/dev/" + node}};
        if (udevCapabilities)
            properties.emplace_back("ID_V4L_CAPABILITIES", *udevCapabilities);
        ASSERT_FALSE(testbed.addDevice("video4linux", usbParent ? "video4linux/" + node : "platform/" + node,
                                       parent, attributes, properties)
                         .empty());
    }

    test_support::EventRecorder events;
    CameraTestbed bed{events};
    platform::linux_backend::LinuxVideoDevices video;
};

TEST_F(LinuxVideoDevicesTest, NoVideoDeviceMeansNoList)
{
    EXPECT_FALSE(video.listDevicePaths());
}

TEST_F(LinuxVideoDevicesTest, CameraPathCarriesItsUsbIdsAndName)
{
    ASSERT_TRUE(bed.plug(Device::Camera));
    const auto paths = video.listDevicePaths();
    ASSERT_TRUE(paths);
    ASSERT_EQ(paths->size(), 1u);
    EXPECT_EQ(paths->front(), "/dev/video0 usb#vid_7a3e&pid_4b10 Brivara tessel Visualizer");
}

TEST_F(LinuxVideoDevicesTest, DevicesComeInTheOrderTheyWerePluggedInWithoutTheirMetadataNodes)
{
    ASSERT_TRUE(bed.plug(Device::OtherUsb));
    ASSERT_TRUE(bed.plug(Device::Camera));
    // Each UVC function brings a metadata node of the same name right after
    // its capture node: video1 is the webcam's, video3 the camera's.
    for (const char *node : {"video1", "video3"})
        ASSERT_TRUE(std::filesystem::exists(std::string("/sys/class/video4linux/") + node)) << node;
    const auto paths = video.listDevicePaths();
    ASSERT_TRUE(paths);
    ASSERT_EQ(paths->size(), 2u);
    EXPECT_EQ((*paths)[0], "/dev/video0 usb#vid_0bda&pid_58f4 USB2.0 HD UVC WebCam: USB2.0 HD");
    EXPECT_EQ((*paths)[1], "/dev/video2 usb#vid_7a3e&pid_4b10 Brivara tessel Visualizer");

    bed.unplug(Device::OtherUsb);
    const auto after = video.listDevicePaths();
    ASSERT_TRUE(after);
    ASSERT_EQ(after->size(), 1u);
    EXPECT_EQ(after->front(), "/dev/video2 usb#vid_7a3e&pid_4b10 Brivara tessel Visualizer");
}

TEST_F(LinuxVideoDevicesTest, NumericOrderAndSlotsForUnreadableDevices)
{
    addVideo(10, std::string("Ten"), true);
    addVideo(2, std::string("Two"), false);
    addVideo(9, std::nullopt, true);
    const auto paths = video.listDevicePaths();
    ASSERT_TRUE(paths);
    ASSERT_EQ(paths->size(), 3u);
    EXPECT_EQ((*paths)[0], "/dev/video2 Two") << "no USB parent: no ids";
    EXPECT_FALSE((*paths)[1]) << "without a name the path cannot be built";
    EXPECT_EQ((*paths)[2], "/dev/video10 usb#vid_1d6b&pid_01a0 Ten");
}

TEST_F(LinuxVideoDevicesTest, WhatUdevFoundDecidesWithoutOpeningTheNode)
{
    // None of these nodes can be opened: only udev can tell them apart.
    addVideo(0, std::string("Capture"), true, ":capture:");
    addVideo(1, std::string("Metadata"), true, ":");
    addVideo(2, std::string("Unknown"), true);
    const auto paths = video.listDevicePaths();
    ASSERT_TRUE(paths);
    ASSERT_EQ(paths->size(), 2u);
    EXPECT_EQ((*paths)[0], "/dev/video0 usb#vid_1d6b&pid_01a0 Capture");
    EXPECT_EQ((*paths)[1], "/dev/video2 usb#vid_1d6b&pid_01a2 Unknown") << "without udev's word, the node keeps its place";
}

} // namespace
