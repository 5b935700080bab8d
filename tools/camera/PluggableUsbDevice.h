#pragma once

#include "MockHidraw.h"
#include "MockVideoNode.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace camera_standin {

class Testbed;

// What a USB device brings into sysfs and /dev when it is plugged in.
struct UsbDeviceModel
{
    std::string port;            // "1-2": the device's name below the root hub
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string manufacturer;
    std::string product;
    // A HID interface with a hidraw node, when the device has one.
    std::optional<std::vector<std::uint8_t>> hidReportDescriptor;
    // A UVC video function with this name, when the device has one: a
    // capture node and a metadata node, as uvcvideo makes them.
    std::optional<std::string> videoName;
};

// A USB device that can be plugged in and unplugged, with the tree the
// kernel would build: usb_device, interface, hid device and hidraw node,
// and/or a capture and a metadata video4linux node. Plugging announces
// parents first (umockdev sends "add" as each device is added); unplugging
// hangs the hidraw node up, then
// announces the removal children first (umockdev sends no "remove").
class PluggableUsbDevice
{
public:
    PluggableUsbDevice(Testbed &testbed, UsbDeviceModel model, MockHidraw::Callbacks callbacks = {});
    ~PluggableUsbDevice();
    PluggableUsbDevice(const PluggableUsbDevice &) = delete;
    PluggableUsbDevice &operator=(const PluggableUsbDevice &) = delete;

    bool plug();
    void unplug();
    bool plugged() const { return !usbPath.empty(); }

    const UsbDeviceModel &model() const { return deviceModel; }
    // The nodes of the current plug-in ("/dev/hidraw0"), empty when none.
    std::string hidrawNode() const { return hidraw ? hidraw->node() : std::string(); }
    // The capture node of the video function.
    std::string videoNode() const { return videoNodes.empty() ? std::string() : videoNodes.front()->node(); }
    // Frames the capture node has delivered during this plug-in.
    MockVideoNode *captureNode() const { return videoNodes.empty() ? nullptr : videoNodes.front().get(); }
    std::uint64_t framesDelivered() const { return videoNodes.empty() ? 0 : videoNodes.front()->framesDelivered(); }
    // The hidraw node while plugged in, else null.
    MockHidraw *hidrawDevice() const { return hidraw.get(); }

private:
    struct Added
    {
        std::string path;
        std::string className; // for class devices: their class folder
        std::string name;      // and entry
    };

    bool addHid(const std::string &interfacePath);
    bool addVideo(const std::string &interfacePath);

    Testbed &testbed;
    const UsbDeviceModel deviceModel;
    const MockHidraw::Callbacks callbacks;
    std::string usbPath;
    std::vector<Added> added; // parents first
    std::unique_ptr<MockHidraw> hidraw;
    std::vector<std::unique_ptr<MockVideoNode>> videoNodes; // capture, metadata
};

} // namespace camera_standin
