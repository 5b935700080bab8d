#include "MockVideoNode.h"

#include "MjpegFrames.h"
#include "Pty.h"
#include "TestPattern.h"
#include "Testbed.h"
#include "VideoControls.h"

#include <umockdev.h>

#include <linux/version.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace camera_standin {

namespace {

using Clock = std::chrono::steady_clock;

// What a classroom document camera offers over USB 2.0: its sensor's full
// size and the common video sizes as MJPEG, and uncompressed YUYV only where
// the bus has room for it (small, or slow).
struct Mode
{
    std::uint32_t pixelFormat;
    std::uint32_t width;
    std::uint32_t height;
    std::array<std::uint32_t, 2> rates; // frames a second, 0 = none
};
constexpr std::array<Mode, 6> Modes{{
    {V4L2_PIX_FMT_MJPEG, 3264, 2448, {15, 0}},
    {V4L2_PIX_FMT_MJPEG, 2592, 1944, {15, 0}},
    {V4L2_PIX_FMT_MJPEG, 1920, 1080, {30, 15}},
    {V4L2_PIX_FMT_MJPEG, 1280, 720, {30, 15}},
    {V4L2_PIX_FMT_YUYV, 640, 480, {30, 15}},
    {V4L2_PIX_FMT_YUYV, 1920, 1080, {5, 0}},
}};
constexpr std::array<std::uint32_t, 2> PixelFormats{V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUYV};

// The mode of that pixel format nearest in size; a format the camera does
// not have gets its first, as drivers do.
std::size_t nearestMode(std::uint32_t pixelFormat, std::uint32_t width, std::uint32_t height)
{
    if (std::find(PixelFormats.begin(), PixelFormats.end(), pixelFormat) == PixelFormats.end())
        pixelFormat = PixelFormats.front();
    std::size_t best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < Modes.size(); ++i) {
        if (Modes[i].pixelFormat != pixelFormat)
            continue;
        const long distance = std::labs(static_cast<long>(Modes[i].width) - width)
                              + std::labs(static_cast<long>(Modes[i].height) - height);
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
    bool stalled = false;    // reads are taken but never answered
    std::size_t mode = 0;    // index into Modes
    std::uint32_t rate = 15; // frames a second
    std::optional<TestPattern> pattern;
    std::unique_ptr<MjpegFrames> mjpeg;
    VideoControls controls;
    Clock::time_point nextFrame{};
    std::uint64_t delivered = 0; // also the number the next frame shows
    std::vector<std::uint8_t> scratch; // only for a reader whose buffer is short
    // The reader that streams: like uvcvideo, the node refuses another
    // reader's format while it is connected.
    UMockdevIoctlClient *streamer = nullptr;
    Clock::time_point streamerServed{}; // its last frame: a reader that stopped reading lets go
    std::FILE *frameLog = nullptr;

    ~Shared()
    {
        if (streamer)
            g_object_unref(streamer);
        if (frameLog)
            std::fclose(frameLog);
    }

    long ioctl(UMockdevIoctlClient *client, unsigned long request, UMockdevIoctlData *arg);
    long controlIoctl(unsigned long request, UMockdevIoctlData *arg);
    bool busyFor(UMockdevIoctlClient *client);
    void fillFormat(v4l2_format &format);
    void setFormat(v4l2_format &format, bool apply);
    void fillParameters(v4l2_streamparm &parameters) const;
    MjpegFrames &mjpegFrames();
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
    const long result = sharedOf(data).ioctl(client, umockdev_ioctl_client_get_request(client),
                                             umockdev_ioctl_client_get_arg(client));
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

long MockVideoNode::Shared::ioctl(UMockdevIoctlClient *client, unsigned long request, UMockdevIoctlData *arg)
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
        if (description->index >= PixelFormats.size() || description->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return -EINVAL;
        const bool mjpeg = PixelFormats[description->index] == V4L2_PIX_FMT_MJPEG;
        description->flags = mjpeg ? V4L2_FMT_FLAG_COMPRESSED : 0;
        copyText(description->description, sizeof description->description, mjpeg ? "Motion-JPEG" : "YUYV 4:2:2");
        description->pixelformat = PixelFormats[description->index];
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto *frameSize = resolve<v4l2_frmsizeenum>(arg, &data);
        if (!frameSize)
            return -EFAULT;
        std::uint32_t index = frameSize->index;
        for (const Mode &offered : Modes) {
            if (offered.pixelFormat != frameSize->pixel_format || index-- > 0)
                continue;
            frameSize->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            frameSize->discrete.width = offered.width;
            frameSize->discrete.height = offered.height;
            return 0;
        }
        return -EINVAL;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto *interval = resolve<v4l2_frmivalenum>(arg, &data);
        if (!interval)
            return -EFAULT;
        const auto offered = std::find_if(Modes.begin(), Modes.end(), [&](const Mode &candidate) {
            return candidate.pixelFormat == interval->pixel_format && candidate.width == interval->width
                   && candidate.height == interval->height;
        });
        if (offered == Modes.end() || interval->index >= offered->rates.size() || offered->rates[interval->index] == 0)
            return -EINVAL;
        interval->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        interval->discrete.numerator = 1;
        interval->discrete.denominator = offered->rates[interval->index];
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
        if (request == VIDIOC_S_FMT && busyFor(client))
            return -EBUSY;
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
            if (busyFor(client))
                return -EBUSY;
            std::uint32_t best = Modes[mode].rates[0];
            for (const std::uint32_t offered : Modes[mode].rates)
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
    case VIDIOC_QUERY_EXT_CTRL:
    case VIDIOC_QUERYMENU:
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL:
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS:
    case VIDIOC_TRY_EXT_CTRLS:
        return controlIoctl(request, arg);
    case VIDIOC_CROPCAP:
    case VIDIOC_G_SELECTION:
        return -EINVAL;
    default:
        // REQBUFS among them: no mmap, so the reader falls back to read().
        return -ENOTTY;
    }
}

template <typename Struct> Struct *resolveAt(UMockdevIoctlData *arg, std::size_t offset, std::size_t size)
{
    GError *error = nullptr;
    UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, offset, size, &error);
    g_clear_error(&error);
    return data ? static_cast<Struct *>(static_cast<void *>(data->data)) : nullptr;
}

long MockVideoNode::Shared::controlIoctl(unsigned long request, UMockdevIoctlData *arg)
{
    UMockdevIoctlData *data = nullptr;
    switch (request) {
    case VIDIOC_QUERY_EXT_CTRL: {
        auto *query = resolve<v4l2_query_ext_ctrl>(arg, &data);
        return query ? controls.query(*query) : -EFAULT;
    }
    case VIDIOC_QUERYCTRL: {
        auto *query = resolve<v4l2_queryctrl>(arg, &data);
        return query ? controls.query(*query) : -EFAULT;
    }
    case VIDIOC_QUERYMENU: {
        auto *item = resolve<v4l2_querymenu>(arg, &data);
        return item ? controls.queryMenu(*item) : -EFAULT;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        auto *control = resolve<v4l2_control>(arg, &data);
        if (!control)
            return -EFAULT;
        return request == VIDIOC_G_CTRL ? controls.get(control->id, control->value)
                                        : controls.set(control->id, control->value);
    }
    default: {
        auto *list = resolve<v4l2_ext_controls>(arg, &data);
        if (!list)
            return -EFAULT;
        if (list->count == 0)
            return 0;
        if (list->count > 64)
            return -E2BIG;
        auto *items = resolveAt<v4l2_ext_control>(data, offsetof(v4l2_ext_controls, controls),
                                                  list->count * sizeof(v4l2_ext_control));
        if (!items)
            return -EFAULT;
        // All or nothing, as the kernel's control framework does: check
        // every value first, then set them.
        for (std::uint32_t i = 0; i < list->count; ++i) {
            std::int32_t value = items[i].value;
            const int result = request == VIDIOC_G_EXT_CTRLS ? controls.get(items[i].id, value)
                                                             : controls.set(items[i].id, value, false);
            items[i].value = value;
            if (result < 0) {
                list->error_idx = request == VIDIOC_G_EXT_CTRLS ? i : list->count;
                return result;
            }
        }
        if (request == VIDIOC_S_EXT_CTRLS) {
            for (std::uint32_t i = 0; i < list->count; ++i)
                controls.set(items[i].id, items[i].value);
        }
        return 0;
    }
    }
}

bool MockVideoNode::Shared::busyFor(UMockdevIoctlClient *client)
{
    // A reader that closed the node, or has taken no frame for a while (it
    // ended without umockdev noticing yet, or the stream stalled), holds
    // the node no longer.
    if (streamer
        && (!umockdev_ioctl_client_get_connected(streamer) || Clock::now() - streamerServed > std::chrono::milliseconds(1500))) {
        g_object_unref(streamer);
        streamer = nullptr;
    }
    return streamer && streamer != client;
}

MjpegFrames &MockVideoNode::Shared::mjpegFrames()
{
    const int brightness = controls.value(V4L2_CID_BRIGHTNESS);
    if (!mjpeg || mjpeg->brightness() != brightness)
        mjpeg = std::make_unique<MjpegFrames>(static_cast<int>(Modes[mode].width), static_cast<int>(Modes[mode].height),
                                              brightness);
    return *mjpeg;
}

void MockVideoNode::Shared::fillFormat(v4l2_format &format)
{
    v4l2_pix_format &pix = format.fmt.pix;
    std::memset(&format.fmt, 0, sizeof format.fmt);
    pix.width = Modes[mode].width;
    pix.height = Modes[mode].height;
    pix.pixelformat = Modes[mode].pixelFormat;
    pix.field = V4L2_FIELD_NONE;
    if (pix.pixelformat == V4L2_PIX_FMT_MJPEG) {
        // A reader reads this much at a time: near the largest frame, as
        // every byte of it crosses umockdev's socket.
        pix.bytesperline = 0;
        pix.sizeimage = static_cast<std::uint32_t>(mjpegFrames().largestFrame());
        pix.colorspace = V4L2_COLORSPACE_JPEG;
    } else {
        pix.bytesperline = pix.width * 2;
        pix.sizeimage = pix.bytesperline * pix.height;
        pix.colorspace = V4L2_COLORSPACE_SRGB;
    }
}

void MockVideoNode::Shared::setFormat(v4l2_format &format, bool apply)
{
    const std::size_t chosen = nearestMode(format.fmt.pix.pixelformat, format.fmt.pix.width, format.fmt.pix.height);
    const std::size_t current = mode;
    if (chosen != current) {
        mjpeg.reset();
        pattern.reset();
    }
    mode = chosen;
    fillFormat(format);
    if (!apply) {
        if (chosen != current)
            mjpeg.reset();
        mode = current;
    } else if (chosen != current) {
        rate = Modes[chosen].rates[0];
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
    if (busyFor(client)) {
        umockdev_ioctl_client_complete(client, -1, EBUSY);
        return std::nullopt;
    }
    if (!streamer) {
        streamer = static_cast<UMockdevIoctlClient *>(g_object_ref(client));
        streamerServed = Clock::now();
    }
    const Clock::time_point now = Clock::now();
    if (stalled) // a camera that stopped sending: look again now and then
        return std::chrono::milliseconds(100);
    if (now < nextFrame)
        return nextFrame - now;
    UMockdevIoctlData *buffer = umockdev_ioctl_client_get_arg(client);
    auto *out = static_cast<std::uint8_t *>(buffer->data);
    const auto room = static_cast<std::size_t>(buffer->data_len);
    const auto number = static_cast<std::uint32_t>(delivered++);
    std::size_t length = 0;
    if (Modes[mode].pixelFormat == V4L2_PIX_FMT_MJPEG) {
        // The whole buffer the reader asked for, the JPEG first and zeros
        // after it: a shorter answer stalls GStreamer's reader for good.
        const std::vector<std::uint8_t> jpeg = mjpegFrames().frame(number);
        const std::size_t used = std::min(jpeg.size(), room);
        std::copy_n(jpeg.begin(), used, out);
        std::fill(out + used, out + room, std::uint8_t(0));
        length = room;
    } else {
        if (!pattern)
            pattern.emplace(static_cast<int>(Modes[mode].width), static_cast<int>(Modes[mode].height));
        const std::size_t frameBytes = pattern->frameBytes();
        length = std::min(frameBytes, room);
        if (length == frameBytes) {
            pattern->render(number, out);
        } else {
            // A reader with too small a buffer gets what fits, as from uvcvideo.
            scratch.resize(frameBytes);
            pattern->render(number, scratch.data());
            std::copy_n(scratch.begin(), length, out);
        }
    }
    if (frameLog) {
        const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch());
        std::fprintf(frameLog, "%u %lld\n", number, static_cast<long long>(micro.count()));
        std::fflush(frameLog);
    }
    // The next frame one period after this one was due; a reader that fell
    // behind by more than a period starts a fresh schedule a period from now,
    // so it gets fresh frames, not a burst of old ones.
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / rate;
    nextFrame = nextFrame + period < now ? now + period : nextFrame + period;
    streamerServed = Clock::now();
    umockdev_ioctl_client_complete(client, static_cast<long>(length), 0);
    return std::nullopt;
}

MockVideoNode::MockVideoNode(Testbed &testbed, std::string node, Kind kind, const std::string &cardName)
    : testbed(testbed), nodePath(std::move(node)), shared(std::make_shared<Shared>())
{
    shared->kind = kind;
    shared->cardName = cardName;
    // For benchmarks: when each frame was handed out (number, then the
    // steady clock in microseconds), to tell a frame's age where it is shown.
    if (const char *frameLog = std::getenv("TESSEL_CAMERA_FRAME_LOG"); frameLog && *frameLog && kind == Kind::Capture)
        shared->frameLog = std::fopen(frameLog, "ae");
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

void MockVideoNode::setStalled(bool stalled)
{
    std::lock_guard lock(shared->mutex);
    shared->stalled = stalled;
}

std::int32_t MockVideoNode::control(std::uint32_t id) const
{
    std::lock_guard lock(shared->mutex);
    return shared->controls.value(id);
}

std::uint64_t MockVideoNode::framesDelivered() const
{
    std::lock_guard lock(shared->mutex);
    return shared->delivered;
}

} // namespace camera_standin
