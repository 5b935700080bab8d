#pragma once

#include <cstdint>
#include <memory>
#include <string>

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

namespace camera_standin {

class Testbed;

// A video4linux node in a testbed that answers the way uvcvideo does: a UVC
// function brings a capture node and a metadata node with the same card
// name, told apart only by their device caps.
//
// The capture node is a document camera: MJPEG at its sensor's full size
// and at video sizes, YUYV at 640x480 and (slowly) 1080p, frames of the test
// pattern (TestPattern, MjpegFrames) one per read(), paced at the frame rate
// in force, and the controls of a UVC camera (VideoControls), brightness
// showing in the MJPEG picture. While one reader streams, another reader's
// S_FMT gets EBUSY, as from uvcvideo. umockdev cannot
// emulate mmap, so the node offers read() I/O only (V4L2_CAP_READWRITE, no
// V4L2_CAP_STREAMING), which makes GStreamer's v4l2src read. The node is a
// pty of our own with one byte waiting on it, so that poll() always finds it
// readable; emulated reads never consume the byte. A read that comes before
// the next frame is due is answered later from umockdev's worker thread, so
// the pacing never blocks the other devices that thread serves.
class MockVideoNode
{
public:
    enum class Kind { Capture, Metadata };

    // Makes /dev/<node> and attaches the handler; check valid().
    MockVideoNode(Testbed &testbed, std::string node, Kind kind, const std::string &cardName);
    ~MockVideoNode();
    MockVideoNode(const MockVideoNode &) = delete;
    MockVideoNode &operator=(const MockVideoNode &) = delete;

    bool valid() const { return attached; }
    const std::string &node() const { return nodePath; }

    // The device is unplugged: poll() sees POLLHUP, waiting and later calls
    // fail with ENODEV.
    void hangUp();
    // A camera that stops sending: reads are taken but not answered until
    // it runs again.
    void setStalled(bool stalled);
    // A control's current value (V4L2_CID_...).
    std::int32_t control(std::uint32_t id) const;
    // Frames delivered since the node was made.
    std::uint64_t framesDelivered() const;

    struct Shared; // what umockdev's worker thread reaches

private:
    Testbed &testbed;
    const std::string nodePath;
    UMockdevIoctlBase *handler = nullptr;
    std::shared_ptr<Shared> shared;
    bool attached = false;
};

} // namespace camera_standin
