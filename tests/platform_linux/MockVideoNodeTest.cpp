// The camera stand-in's video node as a V4L2 reader meets it: read() I/O
// only, the offered formats, one paced frame per read with the test pattern
// and a counting frame number, MJPEG as UVC cameras send it, controls that
// change the picture, a busy node, and a hang-up on unplugging.
#include "CameraTestbed.h"
#include "MjpegFrames.h"
#include "platform/CameraDevice.h"
#include "TestPattern.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <algorithm>
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
    interval.width = 1920;
    interval.height = 1080;
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
    other.fmt.pix.width = 1920;
    other.fmt.pix.height = 1080;
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

// The mean of a decoded RGB frame's red over a patch of the white bar.
double whiteBarLevel(const std::vector<std::uint8_t> &jpeg, int &width, int &height)
{
    tjhandle decoder = tjInitDecompress();
    int subsampling = 0, colourspace = 0;
    if (tjDecompressHeader3(decoder, jpeg.data(), jpeg.size(), &width, &height, &subsampling, &colourspace) != 0) {
        tjDestroy(decoder);
        return -1;
    }
    std::vector<std::uint8_t> rgb(std::size_t(width) * height * 3);
    const int result = tjDecompress2(decoder, jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB, 0);
    tjDestroy(decoder);
    if (result != 0 || subsampling != TJSAMP_422)
        return -1;
    double sum = 0;
    int count = 0;
    for (int y = height / 8; y < height / 4; y += 7)
        for (int x = width / 64; x < width / 10; x += 7, ++count)
            sum += rgb[(std::size_t(y) * width + x) * 3];
    return sum / count;
}

TEST(MockVideoNode, SendsMjpegLikeADocumentCameraAndItsBrightnessShows)
{
    test_support::EventRecorder events;
    CameraTestbed bed(events);
    ASSERT_TRUE(bed.plug(CameraTestbed::Device::Camera));
    const int fd = ::open(bed.cameraVideoNode().c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);

    // MJPEG first, flagged compressed; its sizes and rates as such cameras offer.
    v4l2_fmtdesc description{};
    description.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    ASSERT_EQ(::ioctl(fd, VIDIOC_ENUM_FMT, &description), 0);
    EXPECT_EQ(description.pixelformat, V4L2_PIX_FMT_MJPEG);
    EXPECT_TRUE(description.flags & V4L2_FMT_FLAG_COMPRESSED);
    v4l2_frmsizeenum size{};
    size.pixel_format = V4L2_PIX_FMT_MJPEG;
    ASSERT_EQ(::ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size), 0);
    EXPECT_EQ(size.discrete.width, 3264u);
    EXPECT_EQ(size.discrete.height, 2448u);

    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = 1280;
    format.fmt.pix.height = 720;
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_MJPEG;
    ASSERT_EQ(::ioctl(fd, VIDIOC_S_FMT, &format), 0);
    ASSERT_EQ(format.fmt.pix.pixelformat, V4L2_PIX_FMT_MJPEG);
    ASSERT_EQ(format.fmt.pix.width, 1280u);

    // One whole JPEG a read: the buffer asked for, the JPEG first, zeros
    // after; no Huffman tables; decodable with the standard ones.
    std::vector<std::uint8_t> buffer(format.fmt.pix.sizeimage);
    ASSERT_EQ(::read(fd, buffer.data(), buffer.size()), static_cast<ssize_t>(buffer.size()));
    std::size_t end = buffer.size();
    while (end > 0 && buffer[end - 1] == 0)
        --end;
    ASSERT_GT(end, 1000u);
    EXPECT_LT(end, buffer.size()); // room to spare, as sizeimage must have
    EXPECT_EQ(buffer[0], 0xFF);
    EXPECT_EQ(buffer[1], 0xD8);
    EXPECT_EQ(buffer[end - 2], 0xFF);
    EXPECT_EQ(buffer[end - 1], 0xD9);
    EXPECT_FALSE(camera_standin::jpegHasHuffmanTables(buffer.data(), end));
    std::vector<std::uint8_t> jpeg(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(end));
    int width = 0, height = 0;
    const double before = whiteBarLevel(jpeg, width, height);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(height, 720);
    EXPECT_GT(before, 240);

    // Controls as uvcvideo offers them, through the extended calls.
    v4l2_query_ext_ctrl query{};
    query.id = V4L2_CID_BRIGHTNESS;
    ASSERT_EQ(::ioctl(fd, VIDIOC_QUERY_EXT_CTRL, &query), 0);
    EXPECT_EQ(query.type, V4L2_CTRL_TYPE_INTEGER);
    EXPECT_LT(query.minimum, 0);
    v4l2_ext_control control{};
    control.id = V4L2_CID_BRIGHTNESS;
    control.value = static_cast<std::int32_t>(query.minimum);
    v4l2_ext_controls list{};
    list.which = V4L2_CTRL_WHICH_CUR_VAL;
    list.count = 1;
    list.controls = &control;
    ASSERT_EQ(::ioctl(fd, VIDIOC_S_EXT_CTRLS, &list), 0);
    control.value = 0;
    ASSERT_EQ(::ioctl(fd, VIDIOC_G_EXT_CTRLS, &list), 0);
    EXPECT_EQ(control.value, query.minimum);
    // Out of range: refused, nothing changed.
    control.value = static_cast<std::int32_t>(query.maximum) + 1;
    EXPECT_EQ(::ioctl(fd, VIDIOC_S_EXT_CTRLS, &list), -1);
    EXPECT_EQ(errno, ERANGE);
    // A manual focus is refused while the automatic one runs.
    v4l2_control manualFocus{V4L2_CID_FOCUS_ABSOLUTE, 300};
    EXPECT_EQ(::ioctl(fd, VIDIOC_S_CTRL, &manualFocus), -1);

    // The next frame is darker where the white bar is.
    ASSERT_EQ(::read(fd, buffer.data(), buffer.size()), static_cast<ssize_t>(buffer.size()));
    const double after = whiteBarLevel(buffer, width, height);
    EXPECT_LT(after, before - 40);

    // The platform's camera device reads the same node beside the stream:
    // every mode, and the panel's controls with their state.
    const auto device = platform::openCameraDevice(bed.cameraVideoNode());
    ASSERT_TRUE(device);
    const auto modes = device->modes();
    ASSERT_EQ(modes.size(), 9u); // six sizes, three of them at two rates
    EXPECT_EQ(modes.front(), (platform::CameraMode{V4L2_PIX_FMT_MJPEG, 3264, 2448, 1, 15}));
    const auto controls = device->controls();
    ASSERT_EQ(controls.size(), 13u);
    EXPECT_EQ(controls.front().first, platform::CameraSetting::Brightness);
    EXPECT_EQ(controls.front().second.value, query.minimum);
    const auto focus = std::find_if(controls.begin(), controls.end(),
                                    [](const auto &entry) { return entry.first == platform::CameraSetting::Focus; });
    ASSERT_NE(focus, controls.end());
    EXPECT_TRUE(focus->second.inactive);
    const auto power = std::find_if(controls.begin(), controls.end(), [](const auto &entry) {
        return entry.first == platform::CameraSetting::PowerLineFrequency;
    });
    ASSERT_NE(power, controls.end());
    EXPECT_EQ(power->second.kind, platform::CameraControl::Kind::Menu);
    EXPECT_EQ(power->second.menu.size(), 3u);
    EXPECT_TRUE(device->setControl(V4L2_CID_BRIGHTNESS, 10));
    EXPECT_FALSE(device->setControl(V4L2_CID_FOCUS_ABSOLUTE, 300));

    // Busy: another reader cannot set a format while this one streams.
    const int second = ::open(bed.cameraVideoNode().c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(second, 0);
    v4l2_format again = format;
    EXPECT_EQ(::ioctl(second, VIDIOC_S_FMT, &again), -1);
    EXPECT_EQ(errno, EBUSY);
    // Free again once the streaming reader has closed the node (umockdev
    // hears of the close a moment later).
    ::close(fd);
    bool free = false;
    for (int i = 0; i < 50 && !free; ++i) {
        again = format;
        free = ::ioctl(second, VIDIOC_S_FMT, &again) == 0;
        if (!free)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(free);
    ::close(second);
}

} // namespace
