#pragma once

#include "CameraModel.h"
#include "EventSink.h"
#include "PluggableUsbDevice.h"
#include "Testbed.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace camera_standin {

// The camera in a testbed, with the two unrelated devices that tests plug in
// beside it: the camera (a HID interface, USB 7a3e:4b20, and a video device,
// USB 7a3e:4b10, "Brivara tessel Visualizer"), a keyboard (HID with report
// IDs, 046d:c31c) and a webcam (video only, 0bda:58f4).
class CameraTestbed
{
public:
    enum class Device { Camera, OtherHid, OtherUsb };

    static constexpr std::uint16_t VendorId = 0x7A3E;
    static constexpr std::uint16_t HidProductId = 0x4B20;
    static constexpr std::uint16_t VideoProductId = 0x4B10;
    static constexpr const char *VideoName = "Brivara tessel Visualizer";

    // Makes the testbed with nothing plugged in. sink hears every event.
    explicit CameraTestbed(EventSink &sink, std::optional<std::string> stateFile = std::nullopt);
    ~CameraTestbed();
    CameraTestbed(const CameraTestbed &) = delete;
    CameraTestbed &operator=(const CameraTestbed &) = delete;

    bool plug(Device device);
    void unplug(Device device);
    bool plugged(Device device) const;

    // Input reports from the camera, in the Windows layout (byte 0 is the
    // report ID and must be 0). False when the camera is not plugged in.
    bool press(const std::vector<Button> &buttons, bool hold);
    bool sendReport(const Report &report);
    // The camera's next count reads fail with error.
    bool failReads(int error, unsigned count);

    CameraModel &model() { return cameraModel; }
    Testbed &testbed() { return bed; }
    std::string cameraHidrawNode() const;
    std::string cameraVideoNode() const;
    // Frames the camera's video node has delivered since it was plugged in.
    std::uint64_t cameraFramesDelivered() const { return cameraVideo->framesDelivered(); }
    // The camera's video stops sending frames (true) or sends again.
    bool setVideoStalled(bool stalled);
    std::string otherHidrawNode() const;
    std::string otherVideoNode() const;

    static const char *deviceName(Device device);

private:
    PluggableUsbDevice &device(Device which) const;
    std::vector<std::vector<std::uint8_t>> cameraWritten(const std::vector<std::uint8_t> &bytes);

    EventSink &sink;
    Testbed bed;
    CameraModel cameraModel;
    std::unique_ptr<PluggableUsbDevice> cameraHid;
    std::unique_ptr<PluggableUsbDevice> cameraVideo;
    std::unique_ptr<PluggableUsbDevice> keyboard;
    std::unique_ptr<PluggableUsbDevice> webcam;
};

// "00 01 ff" as "0001ff": reports in event lines.
std::string hexText(const std::vector<std::uint8_t> &bytes);
// "EPROTO", or the number for an errno value without a name.
std::string errnoName(int error);

} // namespace camera_standin
