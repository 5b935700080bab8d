#pragma once

#include "platform/CameraDevice.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstAppSink GstAppSink;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;

// One frame as the window gets it: the picture at the size the view needs,
// and for MJPEG the camera's own bytes (a capture saves those).
struct CameraFrame
{
    QImage image;
    QByteArray jpeg;  // the camera's JPEG, padding dropped; empty for uncompressed modes
    QSize sourceSize; // the camera's frame size
    quint64 sequence = 0;
    qint64 arrivedUs = 0; // steady clock, when the frame left the camera's pipeline
};

// The camera's stream through a GStreamer pipeline of our own:
//   v4l2src (mapped buffers on a real camera, read() where that is all the
//   node offers) ! caps with pixel format, size and frame rate ! a one-frame
//   leaky queue ! appsink (one buffer, the old dropped)
// The appsink's streaming thread turns each frame into a picture (MJPEG
// decoded by libjpeg-turbo at the smallest scale that still covers the view,
// uncompressed frames converted by their own range and matrix) and leaves
// it in a one-frame mailbox; the main thread only takes the newest ready
// picture. Bus errors, end of stream and three seconds without a frame
// become problem().
//
// Threads: the main thread (start, stop, the bus messages handed over, the
// stall check); GStreamer's streaming threads; and one short-lived thread
// per stopped stream that takes its pipeline down. A stream is stopped off
// the main thread because a camera that stopped sending can hold its reader
// in read() until it sends again, and the window must not wait for that.
class CameraPipeline : public QObject
{
    Q_OBJECT

public:
    enum class Problem {
        Busy,    // another program has the camera
        Stopped, // error, end of stream, or no frame for StallMs
    };
    static constexpr int StallMs = 3000;

    explicit CameraPipeline(QObject *parent = nullptr);
    ~CameraPipeline() override;

    // Starts streaming this node in this mode; false (with a log line) when
    // the pipeline cannot be made (a GStreamer plugin missing).
    bool start(const QString &node, const platform::CameraMode &mode);
    void stop();
    bool running() const { return pipeline != nullptr; }
    const platform::CameraMode &mode() const { return streamMode; }

    // The size the view shows the picture at (device pixels); frames are
    // made at least this large where the camera's are.
    void setDisplaySize(QSize size);
    // Frames at the camera's own size, for a capture (uncompressed modes;
    // MJPEG frames keep the camera's bytes anyway).
    void setFullFrames(bool full);
    // The newest picture, or nothing when none arrived since the last call.
    std::shared_ptr<const CameraFrame> takeFrame();

    // Streams that had frames, stopped but not yet taken down (their
    // readers still hold the device): a busy device now may be our own.
    static int teardownsPending() { return teardowns.load(); }

    struct Stream; // what the streaming threads share with this object

signals:
    // A new frame waits in takeFrame() (one signal for any number of frames).
    void frameReady();
    void problem(CameraPipeline::Problem problem, const QString &detail);

private:
    void onStreamFrame(unsigned generation);
    void checkStall();
    void report(Problem kind, const QString &detail, unsigned fromGeneration);

    GstElement *pipeline = nullptr;
    std::shared_ptr<Stream> stream;
    platform::CameraMode streamMode;
    unsigned generation = 0;
    QSize displaySize;
    bool fullFrames = false;
    QTimer stallCheck;
    static std::atomic<int> teardowns;
};
