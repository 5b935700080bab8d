#include "MockVideoNode.h"

#include "Pty.h"
#include "TestPattern.h"
#include "Testbed.h"

#include <umockdev.h>

#include <linux/version.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace camera_standin {

namespace {

using Clock = std::chrono::steady_clock;

// The formats the camera offers, all YUYV: the largest is too slow for a
// live picture, so a viewer that wants 15 frames a second or more must pass
// it over.
struct FrameSize
{
    std::uint32_t width;
    std::uint32_t height;
    std::array<std::uint32_t, 2> rates; // frames a second, 0 = none
};
constexpr std::array<FrameSize, 3> FrameSizes{{
    {640, 480, {30, 15}},
    {320, 240, {30, 0}},
    {1600, 1200, {5, 0}},
}};

std::size_t nearestSize(std::uint32_t width, std::uint32_t height)
{
    std::size_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < FrameSizes.size(); ++i) {
        const long distance = std::labs(static_cast<long>(FrameSizes[i].width) - width)
                              + std::labs(static_cast<long>(FrameSizes[i].height) - height);
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void copyText(__u8 *field, std::size_t room, const std::string &text)
{
    std::memset(field, 0, room);
    std::memcpy(field, text.data(), std::min(text.size(), room - 1));
}

} // namespace

struct MockVideoNode::Shared
{
    MockVideoNode::Kind kind = MockVideoNode::Kind::Capture;
    std::string cardName;
    mutable std::mutex mutex;
    Pty pty;
    bool gone = false;
    std::size_t size = 0;    // index into FrameSizes
    std::uint32_t rate = 30; // frames a second
    std::optional<TestPattern> pattern;
    Clock::time_point nextFrame{};
    std::uint64_t delivered = 0; // also the number the next frame shows
    std::vector<std::uint8_t> scratch; // only for a reader whose buffer is short

    long ioctl(unsigned long request, UMockdevIoctlData *arg);
    void fillFormat(v4l2_format &format) const;
    void setFormat(v4l2_format &format, bool apply);
    void fillParameters(v4l2_streamparm &parameters) const;
    // Serves a read now, or says how long until the next frame is due.
    std::optional<Clock::duration> readReady(UMockdevIoctlClient *client);
};

namespace {

struct PendingRead
{
    std::shared_ptr<MockVideoNode::Shared> shared;
    UMockdevIoctlClient *client;
};

template <typename Struct> Struct *resolve(UMockdevIoctlData *arg, UMockdevIoctlData **data)
{
    GError *error = nullptr;
    *data = umockdev_ioctl_data_resolve(arg, 0, sizeof(Struct), &error);
    g_clear_error(&error);
    return *data ? static_cast<Struct *>(static_cast<void *>((*data)->data)) : nullptr;
}

void releaseShared(gpointer data, GClosure *)
{
    delete static_cast<std::shared_ptr<MockVideoNode::Shared> *>(data);
}

MockVideoNode::Shared &sharedOf(gpointer data)
{
    return **static_cast<std::shared_ptr<MockVideoNode::Shared> *>(data);
}

gboolean handleIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    const long result =
        sharedOf(data).ioctl(umockdev_ioctl_client_get_request(client), umockdev_ioctl_client_get_arg(client));
    umockdev_ioctl_client_complete(client, result < 0 ? -1 : result, result < 0 ? static_cast<int>(-result) : 0);
    return TRUE;
}

void forgetPending(gpointer data)
{
    auto *pending = static_cast<PendingRead *>(data);
    g_object_unref(pending->client);
    delete pending;
}

gboolean serveLater(gpointer data);

// Answers the read when its frame is due, from a timer in the context of
// umockdev's worker thread, which runs its clients there.
void serveWhenDue(const std::shared_ptr<MockVideoNode::Shared> &shared, UMockdevIoctlClient *client)
{
    const std::optional<Clock::duration> wait = shared->readReady(client);
    if (!wait)
        return;
    auto *pending = new PendingRead{shared, client};
    g_object_ref(client);
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
    GSource *source = g_timeout_source_new(static_cast<guint>(std::max<long>(milliseconds, 1)));
    g_source_set_callback(source, serveLater, pending, forgetPending);
    g_source_attach(source, g_main_context_get_thread_default());
    g_source_unref(source);
}

gboolean serveLater(gpointer data)
{
    auto *pending = static_cast<PendingRead *>(data);
    // A reader that closed the node meanwhile gets nothing.
    if (umockdev_ioctl_client_get_connected(pending->client))
        serveWhenDue(pending->shared, pending->client);
    return G_SOURCE_REMOVE;
}

gboolean handleRead(UMockdevIoctlBase *, UMockdevIoctlClient *client, gpointer data)
{
    serveWhenDue(*static_cast<std::shared_ptr<MockVideoNode::Shared> *>(data), client);
    return TRUE;
}

} // namespace

long MockVideoNode::Shared::ioctl(unsigned long request, UMockdevIoctlData *arg)
{
    std::lock_guard lock(mutex);
    if (gone)
        return -ENODEV;
    UMockdevIoctlData *data = nullptr;
    if (request == VIDIOC_QUERYCAP) {
        auto *capability = resolve<v4l2_capability>(arg, &data);
        if (!capability)
            return -EFAULT;
        std::memset(capability, 0, sizeof *capability);
        copyText(capability->driver, sizeof capability->driver, "uvcvideo");
        copyText(capability->card, sizeof capability->card, cardName);
        copyText(capability->bus_info, sizeof capability->bus_info, "usb-0000:00:14.0-standin");
        capability->version = KERNEL_VERSION(6, 1, 0);
        // uvcvideo: capabilities are those of the whole function,
        // device_caps those of this node.
        capability->device_caps = kind == MockVideoNode::Kind::Capture
                                      ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE
                                      : V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
        capability->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_READWRITE
                                   | V4L2_CAP_DEVICE_CAPS;
        return 0;
    }
    // What a metadata node cannot do it refuses, as a driver does.
    if (kind != MockVideoNode::Kind::Capture)
        return -ENOTTY;
    switch (request) {
    case VIDIOC_ENUM_FMT: {
        auto *description = resolve<v4l2_fmtdesc>(arg, &data);
        if (!description)
            return -EFAULT;
        if (description->index != 0 || description->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return -EINVAL;
        description->flags = 0;
        copyText(description->description, sizeof description->description, "YUYV 4:2:2");
        description->pixelformat = V4L2_PIX_FMT_YUYV;
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto *frameSize = resolve<v4l2_frmsizeenum>(arg, &data);
        if (!frameSize)
            return -EFAULT;
        if (frameSize->pixel_format != V4L2_PIX_FMT_YUYV || frameSize->index >= FrameSizes.size())
            return -EINVAL;
        frameSize->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        frameSize->discrete.width = FrameSizes[frameSize->index].width;
        frameSize->discrete.height = FrameSizes[frameSize->index].height;
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto *interval = resolve<v4l2_frmivalenum>(arg, &data);
        if (!interval)
            return -EFAULT;
        if (interval->pixel_format != V4L2_PIX_FMT_YUYV)
            return -EINVAL;
        const auto size = std::find_if(FrameSizes.begin(), FrameSizes.end(), [&](const FrameSize &candidate) {
            return candidate.width == interval->width && candidate.height == interval->height;
        });
        if (size == FrameSizes.end() || interval->index >= size->rates.size() || size->rates[interval->index] == 0)
            return -EINVAL;
        interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        interval->discrete.numerator = 1;
        interval->discrete.denominator = size->rates[interval->index];
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT: {
        auto *format = resolve<v4l2_format>(arg, &data);
        if (!format)
            return -EFAULT;
        if (format->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return -EINVAL;
        if (request == VIDIOC_G_FMT)
            fillFormat(*format);
        else
            setFormat(*format, request == VIDIOC_S_FMT);
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto *parameters = resolve<v4l2_streamparm>(arg, &data);
        if (!parameters)
            return -EFAULT;
        if (parameters->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return -EINVAL;
        if (request == VIDIOC_S_PARM) {
            const v4l2_fract asked = parameters->parm.capture.timeperframe;
            const double askedRate = asked.numerator ? double(asked.denominator) / asked.numerator : 0;
            std::uint32_t best = FrameSizes[size].rates[0];
            for (const std::uint32_t offered : FrameSizes[size].rates)
                if (offered && std::abs(offered - askedRate) < std::abs(best - askedRate))
                    best = offered;
            rate = best;
        }
        fillParameters(*parameters);
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto *input = resolve<v4l2_input>(arg, &data);
        if (!input)
            return -EFAULT;
        if (input->index != 0)
            return -EINVAL;
        copyText(input->name, sizeof input->name, "Camera 1");
        input->type = V4L2_INPUT_TYPE_CAMERA;
        return 0;
    }
    case VIDIOC_G_INPUT: {
        auto *input = resolve<int>(arg, &data);
        if (!input)
            return -EFAULT;
        *input = 0;
        return 0;
    }
    case VIDIOC_QUERYCTRL:
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL:
    case VIDIOC_CROPCAP:
    case VIDIOC_G_SELECTION:
        return -EINVAL;
    default:
        // REQBUFS among them: no mmap, so the reader falls back to read().
        return -ENOTTY;
    }
}

void MockVideoNode::Shared::fillFormat(v4l2_format &format) const
{
    v4l2_pix_format &pix = format.fmt.pix;
    std::memset(&format.fmt, 0, sizeof format.fmt);
    pix.width = FrameSizes[size].width;
    pix.height = FrameSizes[size].height;
    pix.pixelformat = V4L2_PIX_FMT_YUYV;
    pix.field = V4L2_FIELD_NONE;
    pix.bytesperline = pix.width * 2;
    pix.sizeimage = pix.bytesperline * pix.height;
    pix.colorspace = V4L2_COLORSPACE_SRGB;
}

void MockVideoNode::Shared::setFormat(v4l2_format &format, bool apply)
{
    const std::size_t chosen = nearestSize(format.fmt.pix.width, format.fmt.pix.height);
    const std::size_t current = size;
    size = chosen;
    fillFormat(format);
    if (!apply) {
        size = current;
    } else if (chosen != current) {
        rate = FrameSizes[chosen].rates[0];
        pattern.reset();
    }
}

void MockVideoNode::Shared::fillParameters(v4l2_streamparm &parameters) const
{
    std::memset(&parameters.parm, 0, sizeof parameters.parm);
    parameters.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    parameters.parm.capture.timeperframe.numerator = 1;
    parameters.parm.capture.timeperframe.denominator = rate;
}

std::optional<Clock::duration> MockVideoNode::Shared::readReady(UMockdevIoctlClient *client)
{
    std::lock_guard lock(mutex);
    if (gone) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return std::nullopt;
    }
    if (kind != MockVideoNode::Kind::Capture) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return std::nullopt;
    }
    const Clock::time_point now = Clock::now();
    if (now < nextFrame)
        return nextFrame - now;
    if (!pattern)
        pattern.emplace(static_cast<int>(FrameSizes[size].width), static_cast<int>(FrameSizes[size].height));
    UMockdevIoctlData *buffer = umockdev_ioctl_client_get_arg(client);
    auto *out = static_cast<std::uint8_t *>(buffer->data);
    const std::size_t frameBytes = pattern->frameBytes();
    const std::size_t length = std::min(frameBytes, static_cast<std::size_t>(buffer->data_len));
    const auto number = static_cast<std::uint32_t>(delivered++);
    if (length == frameBytes) {
        pattern->render(number, out);
    } else {
        // A reader with too small a buffer gets what fits, as from uvcvideo.
        scratch.resize(frameBytes);
        pattern->render(number, scratch.data());
        std::copy_n(scratch.begin(), length, out);
    }
    // The next frame one period after this one was due; a reader that fell
    // behind by more than a period starts a fresh schedule a period from now,
    // so it gets fresh frames, not a burst of old ones.
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / rate;
    nextFrame = nextFrame + period < now ? now + period : nextFrame + period;
    umockdev_ioctl_client_complete(client, static_cast<long>(length), 0);
    return std::nullopt;
}

MockVideoNode::MockVideoNode(Testbed &testbed, std::string node, Kind kind, const std::string &cardName)
    : testbed(testbed), nodePath(std::move(node)), shared(std::make_shared<Shared>())
{
    shared->kind = kind;
    shared->cardName = cardName;
    if (kind == Kind::Capture) {
        // One byte waits on the pty for good: poll() finds the node readable,
        // and the emulated reads never take the byte.
        if (!shared->pty.open() || !testbed.linkNode(nodePath, shared->pty.slaveName()) || !shared->pty.ring())
            return;
    } else if (!testbed.linkNode(nodePath, "/dev/null")) {
        return; // nothing is ever read from a metadata node here
    }
    handler = umockdev_ioctl_base_new();
    const auto connect = [this](const char *signal, GCallback callback) {
        g_signal_connect_data(handler, signal, callback, new std::shared_ptr<Shared>(shared), releaseShared,
                              GConnectFlags(0));
    };
    connect("handle-ioctl", G_CALLBACK(handleIoctl));
    connect("handle-read", G_CALLBACK(handleRead));
    GError *error = nullptr;
    attached = umockdev_testbed_attach_ioctl(testbed.handle(), nodePath.c_str(), handler, &error);
    g_clear_error(&error);
}

MockVideoNode::~MockVideoNode()
{
    hangUp();
    if (attached) {
        GError *error = nullptr;
        umockdev_testbed_detach_ioctl(testbed.handle(), nodePath.c_str(), &error);
        g_clear_error(&error);
    }
    if (handler)
        g_object_unref(handler);
    testbed.removeNode(nodePath);
}

void MockVideoNode::hangUp()
{
    std::lock_guard lock(shared->mutex);
    if (shared->gone)
        return;
    shared->gone = true;
    shared->pty.close();
}

std::uint64_t MockVideoNode::framesDelivered() const
{
    std::lock_guard lock(shared->mutex);
    return shared->delivered;
}

} // namespace camera_standin
