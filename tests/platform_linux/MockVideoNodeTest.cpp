// The camera stand-in's video node as a V4L2 reader meets it: read() I/O
// only, the offered formats, one paced frame per read with the test pattern
// and a counting frame number, and a hang-up on unplugging.
#include "CameraTestbed.h"
#include "TestPattern.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

using camera_standin::CameraTestbed;
using camera_standin::TestPattern;

namespace {

// The frame number from the blocks in the band: luma of each block's middle.
std::uint32_t frameNumber(const std::vector<std::uint8_t> &frame, int width, int height)
{
    const int bandTop = height * 3 / 4;
    const int y = bandTop + (height - bandTop) / 2;
    const int cell = width / (TestPattern::CounterBits + 2);
    std::uint32_t number = 0;
    for (int bit = 0; bit < TestPattern::CounterBits; ++bit) {
        const int x = (cell * (bit + 1) + cell / 2) & ~1;
        number = (number << 1) | (frame[static_cast<std::size_t>((y * width + x) * 2)] > 128 ? 1U : 0U);
    }
    return number;
}

TEST(MockVideoNode, DeliversPacedNumberedPatternFramesThroughRead)
{
    test_support::EventRecorder events;
    CameraTestbed bed(events);
    ASSERT_TRUE(bed.plug(CameraTestbed::Device::Camera));
    const int fd = ::open(bed.cameraVideoNode().c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);

    v4l2_capability capability{};
    ASSERT_EQ(::ioctl(fd, VIDIOC_QUERYCAP, &capability), 0);
    EXPECT_EQ(capability.device_caps, V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE); // no mmap
    v4l2_requestbuffers buffers{};
    buffers.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffers.memory = V4L2_MEMORY_MMAP;
    EXPECT_EQ(::ioctl(fd, VIDIOC_REQBUFS, &buffers), -1);

    v4l2_frmivalenum interval{};
    interval.pixel_format = V4L2_PIX_FMT_YUYV;
    interval.width = 1600;
    interval.height = 1200;
    ASSERT_EQ(::ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval), 0);
    EXPECT_EQ(interval.discrete.denominator, 5u); // the large format is too slow for a live picture

    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = 640;
    format.fmt.pix.height = 480;
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    ASSERT_EQ(::ioctl(fd, VIDIOC_S_FMT, &format), 0);
    ASSERT_EQ(format.fmt.pix.sizeimage, 640u * 480u * 2u);

    pollfd readable{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&readable, 1, 1000), 1);
    std::vector<std::uint8_t> frame(format.fmt.pix.sizeimage);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::uint32_t> numbers;
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(::read(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
        numbers.push_back(frameNumber(frame, 640, 480));
    }
    const auto took = std::chrono::steady_clock::now() - start;
    // Ten frames at 30 a second: the first at once, then nine periods of
    // 33 ms. Unpaced, they would come in a few milliseconds.
    EXPECT_GE(took, std::chrono::milliseconds(200));
    EXPECT_LE(took, std::chrono::milliseconds(1500));
    for (std::size_t i = 1; i < numbers.size(); ++i)
        EXPECT_EQ(numbers[i], numbers[i - 1] + 1);
    // Green bar (the fourth of eight): luma high, both chroma values low.
    const std::size_t green = (100 * 640 + 640 * 3 / 8 + 40) * 2;
    EXPECT_GT(frame[green], 130);
    EXPECT_LT(frame[green + 1], 100);

    // A reader that stalled for several periods gets one frame at once and
    // the next a period later, not two back to back to catch up.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_EQ(::read(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    const auto afterStall = std::chrono::steady_clock::now();
    ASSERT_EQ(::read(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
    EXPECT_GE(std::chrono::steady_clock::now() - afterStall, std::chrono::milliseconds(20));

    // A new size brings its own rate; a rate set after it stays when the
    // reader sets the same format again before reading, as GStreamer does.
    v4l2_format other = format;
    other.fmt.pix.width = 320;
    other.fmt.pix.height = 240;
    ASSERT_EQ(::ioctl(fd, VIDIOC_S_FMT, &other), 0);
    v4l2_format again = format;
    ASSERT_EQ(::ioctl(fd, VIDIOC_S_FMT, &again), 0);
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parameters.parm.capture.timeperframe = {1, 15};
    ASSERT_EQ(::ioctl(fd, VIDIOC_S_PARM, &parameters), 0);
    again = format;
    ASSERT_EQ(::ioctl(fd, VIDIOC_S_FMT, &again), 0);
    parameters = {};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(::ioctl(fd, VIDIOC_G_PARM, &parameters), 0);
    EXPECT_EQ(parameters.parm.capture.timeperframe.denominator, 15u);

    // Unplugged: poll() wakes with a hang-up and reads fail.
    bed.unplug(CameraTestbed::Device::Camera);
    EXPECT_EQ(::poll(&readable, 1, 1000), 1);
    EXPECT_TRUE(readable.revents & (POLLHUP | POLLERR));
    EXPECT_EQ(::read(fd, frame.data(), frame.size()), -1);
    ::close(fd);
}

} // namespace
