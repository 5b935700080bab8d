#include "CameraPipeline.h"

#include "FrameConverter.h"
#include "JpegFrame.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <linux/videodev2.h>

#include <QDebug>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

namespace {

qint64 steadyMicroseconds()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString capsFor(const platform::CameraMode &mode)
{
    QString media = QStringLiteral("video/x-raw,format=");
    switch (mode.pixelFormat) {
    case V4L2_PIX_FMT_MJPEG:
        media = QStringLiteral("image/jpeg");
        break;
    case V4L2_PIX_FMT_UYVY:
        media += QStringLiteral("UYVY");
        break;
    case V4L2_PIX_FMT_NV12:
        media += QStringLiteral("NV12");
        break;
    case V4L2_PIX_FMT_YUV420:
        media += QStringLiteral("I420");
        break;
    default:
        media += QStringLiteral("YUY2");
        break;
    }
    return QStringLiteral("%1,width=%2,height=%3,framerate=%4/%5")
        .arg(media)
        .arg(mode.width)
        .arg(mode.height)
        .arg(mode.intervalDenominator)
        .arg(mode.intervalNumerator);
}

// Every step-th pixel while the rest still covers the view.
int stepFor(QSize frame, QSize wanted)
{
    int step = 1;
    if (wanted.isEmpty())
        return step;
    while (frame.width() / (step * 2) >= wanted.width() && frame.height() / (step * 2) >= wanted.height())
        step *= 2;
    return step;
}

} // namespace

struct CameraPipeline::Stream
{
    platform::CameraMode mode;
    unsigned generation = 0;
    std::atomic<int> displayWidth{0};
    std::atomic<int> displayHeight{0};
    std::atomic<bool> fullFrames{false};
    std::atomic<qint64> lastFrameUs{0};
    std::atomic<bool> notifyPending{false};
    std::atomic<bool> streamed{false}; // a frame came: this stream's reader holds the device
    quint64 sequence = 0;  // streaming thread only
    MjpegDecoder decoder;  // streaming thread only
    std::mutex mailboxMutex;
    std::shared_ptr<const CameraFrame> mailbox;
    // The pipeline object while this stream is its own; cleared (under the
    // lock) when it stops, so that nothing reaches it afterwards.
    std::mutex ownerMutex;
    CameraPipeline *owner = nullptr;

    void handleSample(GstAppSink *sink);
    void handleBusMessage(GstMessage *message);
};

std::atomic<int> CameraPipeline::teardowns{0};

namespace {

void releaseStream(gpointer data)
{
    delete static_cast<std::shared_ptr<CameraPipeline::Stream> *>(data);
}

CameraPipeline::Stream &streamOf(gpointer data)
{
    return **static_cast<std::shared_ptr<CameraPipeline::Stream> *>(data);
}

} // namespace

CameraPipeline::CameraPipeline(QObject *parent)
    : QObject(parent)
{
    if (!gst_is_initialized())
        gst_init(nullptr, nullptr);
    stallCheck.setInterval(500);
    connect(&stallCheck, &QTimer::timeout, this, &CameraPipeline::checkStall);
}

CameraPipeline::~CameraPipeline()
{
    stop();
    // A closing window lets its camera go for the next program; a reader
    // stuck in a camera that stopped sending is left behind after a while.
    for (int waited = 0; teardowns.load() > 0 && waited < 2000; waited += 10)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool CameraPipeline::start(const QString &node, const platform::CameraMode &mode)
{
    stop();
    const QString description = QStringLiteral(
                                    "v4l2src name=source device=\"%1\" ! capsfilter caps=\"%2\" ! "
                                    "queue max-size-buffers=1 max-size-bytes=0 max-size-time=0 leaky=downstream ! "
                                    "appsink name=sink max-buffers=1 drop=true sync=false")
                                    .arg(node, capsFor(mode));
    GError *error = nullptr;
    GstElement *made = gst_parse_launch(description.toUtf8().constData(), &error);
    if (!made || error) {
        qDebug().noquote() << "<CameraPipeline> cannot make the pipeline:"
                           << (error ? QString::fromUtf8(error->message) : QStringLiteral("unknown"));
        g_clear_error(&error);
        if (made)
            gst_object_unref(made);
        return false;
    }
    pipeline = made;
    streamMode = mode;
    stream = std::make_shared<Stream>();
    stream->mode = mode;
    stream->generation = ++generation;
    stream->owner = this;
    stream->displayWidth = displaySize.width();
    stream->displayHeight = displaySize.height();
    stream->fullFrames = fullFrames;
    stream->lastFrameUs = steadyMicroseconds();

    GstElement *sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = [](GstAppSink *appSink, gpointer data) {
        streamOf(data).handleSample(appSink);
        return GST_FLOW_OK;
    };
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, new std::shared_ptr<Stream>(stream), releaseStream);
    gst_object_unref(sink);
    GstBus *bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(
        bus,
        [](GstBus *, GstMessage *message, gpointer data) {
            streamOf(data).handleBusMessage(message);
            gst_message_unref(message);
            return GST_BUS_DROP;
        },
        new std::shared_ptr<Stream>(stream), releaseStream);
    gst_object_unref(bus);
    qDebug().noquote() << "<CameraPipeline> streaming" << node << capsFor(mode);
    stallCheck.start();
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        report(Problem::Stopped, QStringLiteral("the pipeline did not start"), generation);
    return true;
}

void CameraPipeline::stop()
{
    stallCheck.stop();
    if (!pipeline)
        return;
    {
        std::lock_guard lock(stream->ownerMutex);
        stream->owner = nullptr;
    }
    const bool held = stream->streamed;
    stream.reset();
    if (held)
        ++teardowns;
    std::thread([old = std::exchange(pipeline, nullptr), held] {
        // Returns once the streaming threads have ended; the callbacks' and
        // the bus handler's hold on the stream goes with the pipeline.
        gst_element_set_state(old, GST_STATE_NULL);
        gst_object_unref(old);
        if (held)
            --teardowns;
    }).detach();
}

void CameraPipeline::setDisplaySize(QSize size)
{
    displaySize = size;
    if (stream) {
        stream->displayWidth = size.width();
        stream->displayHeight = size.height();
    }
}

void CameraPipeline::setFullFrames(bool full)
{
    fullFrames = full;
    if (stream)
        stream->fullFrames = full;
}

std::shared_ptr<const CameraFrame> CameraPipeline::takeFrame()
{
    if (!stream)
        return nullptr;
    std::lock_guard lock(stream->mailboxMutex);
    return std::exchange(stream->mailbox, nullptr);
}

void CameraPipeline::onStreamFrame(unsigned fromGeneration)
{
    if (!stream || stream->generation != fromGeneration)
        return;
    stream->notifyPending = false;
    emit frameReady();
}

// The streaming thread.
void CameraPipeline::Stream::handleSample(GstAppSink *sink)
{
    GstSample *sample = gst_app_sink_pull_sample(sink);
    if (!sample)
        return;
    const qint64 arrived = steadyMicroseconds();
    lastFrameUs = arrived;
    streamed = true;
    const QSize wanted = fullFrames ? QSize() : QSize(displayWidth.load(), displayHeight.load());
    auto frame = std::make_shared<CameraFrame>();
    frame->arrivedUs = arrived;
    GstBuffer *buffer = gst_sample_get_buffer(sample);
    GstCaps *caps = gst_sample_get_caps(sample);
    GstMapInfo map;
    if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        if (mode.pixelFormat == V4L2_PIX_FMT_MJPEG) {
            frame->jpeg = jpeg_frame::trimmed(QByteArray(reinterpret_cast<const char *>(map.data), qsizetype(map.size)));
            const auto *bytes = reinterpret_cast<const uchar *>(frame->jpeg.constData());
            frame->image = decoder.decode(bytes, frame->jpeg.size(), wanted);
            frame->sourceSize = decoder.frameSize(bytes, frame->jpeg.size());
        } else {
            GstVideoInfo info;
            if (caps && gst_video_info_from_caps(&info, caps)) {
                const int width = GST_VIDEO_INFO_WIDTH(&info);
                const int height = GST_VIDEO_INFO_HEIGHT(&info);
                frame->sourceSize = QSize(width, height);
                frame_converter::Colour colour;
                colour.fullRange = info.colorimetry.range == GST_VIDEO_COLOR_RANGE_0_255;
                colour.bt709 = info.colorimetry.matrix == GST_VIDEO_COLOR_MATRIX_BT709;
                const int step = stepFor(frame->sourceSize, wanted);
                const auto plane = [&](int index) { return map.data + GST_VIDEO_INFO_PLANE_OFFSET(&info, index); };
                const auto stride = [&](int index) { return GST_VIDEO_INFO_PLANE_STRIDE(&info, index); };
                // Every plane must lie within what arrived: a short frame is dropped.
                if (map.size >= GST_VIDEO_INFO_SIZE(&info)) {
                    switch (GST_VIDEO_INFO_FORMAT(&info)) {
                    case GST_VIDEO_FORMAT_YUY2:
                    case GST_VIDEO_FORMAT_UYVY:
                        frame->image = frame_converter::fromYuyv(plane(0), width, height, stride(0),
                                                                 GST_VIDEO_INFO_FORMAT(&info) == GST_VIDEO_FORMAT_UYVY,
                                                                 colour, step);
                        break;
                    case GST_VIDEO_FORMAT_NV12:
                        frame->image = frame_converter::fromNv12(plane(0), stride(0), plane(1), stride(1), width,
                                                                 height, colour, step);
                        break;
                    case GST_VIDEO_FORMAT_I420:
                        frame->image = frame_converter::fromI420(plane(0), stride(0), plane(1), stride(1), plane(2),
                                                                 stride(2), width, height, colour, step);
                        break;
                    default:
                        break;
                    }
                }
            }
        }
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    if (frame->image.isNull())
        return; // a broken frame: the next one will do
    // Down to the view's size here, not in the paint on the main thread.
    if (!wanted.isEmpty() && (frame->image.width() > wanted.width() * 5 / 4 || frame->image.height() > wanted.height() * 5 / 4))
        frame->image = frame->image.scaled(wanted, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    frame->sequence = sequence++;
    {
        std::lock_guard lock(mailboxMutex);
        mailbox = std::move(frame);
    }
    std::lock_guard lock(ownerMutex);
    if (owner && !notifyPending.exchange(true)) {
        QMetaObject::invokeMethod(
            owner, [pipeline = owner, current = generation] { pipeline->onStreamFrame(current); },
            Qt::QueuedConnection);
    }
}

// Any thread that posts to the bus.
void CameraPipeline::Stream::handleBusMessage(GstMessage *message)
{
    bool busy = false;
    QString text;
    QString detail;
    switch (GST_MESSAGE_TYPE(message)) {
    case GST_MESSAGE_ERROR: {
        GError *error = nullptr;
        gchar *debug = nullptr;
        gst_message_parse_error(message, &error, &debug);
        busy = error && error->domain == GST_RESOURCE_ERROR && error->code == GST_RESOURCE_ERROR_BUSY;
        text = error ? QString::fromUtf8(error->message) : QStringLiteral("error");
        detail = debug ? QString::fromUtf8(debug) : QString();
        g_clear_error(&error);
        g_free(debug);
        break;
    }
    case GST_MESSAGE_EOS:
        text = QStringLiteral("end of stream");
        break;
    default:
        return;
    }
    std::lock_guard lock(ownerMutex);
    if (!owner)
        return;
    QMetaObject::invokeMethod(
        owner,
        [pipeline = owner, busy, text, detail, current = generation] {
            qDebug().noquote() << "<CameraPipeline> error:" << text << detail;
            pipeline->report(busy || text.contains(QLatin1String("busy"), Qt::CaseInsensitive) ? Problem::Busy
                                                                                                  : Problem::Stopped,
                             text, current);
        },
        Qt::QueuedConnection);
}

void CameraPipeline::checkStall()
{
    if (stream && steadyMicroseconds() - stream->lastFrameUs > qint64(StallMs) * 1000)
        report(Problem::Stopped, QStringLiteral("no frame for %1 s").arg(StallMs / 1000), generation);
}

void CameraPipeline::report(Problem kind, const QString &detail, unsigned fromGeneration)
{
    if (fromGeneration != generation || !pipeline)
        return;
    stallCheck.stop();
    emit problem(kind, detail);
}
