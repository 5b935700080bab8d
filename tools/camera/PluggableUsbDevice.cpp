#include "PluggableUsbDevice.h"

#include "Testbed.h"

#include <cstdio>
#include <filesystem>

namespace camera_standin {

namespace {

const std::string RootHub = "pci0000:00/0000:00:14.0/usb1";

std::string hex4(std::uint16_t value, bool upper)
{
    char text[8];
    std::snprintf(text, sizeof text, upper ? "%04X" : "%04x", value);
    return text;
}

} // namespace

PluggableUsbDevice::PluggableUsbDevice(Testbed &testbed, UsbDeviceModel model, MockHidraw::Callbacks callbacks)
    : testbed(testbed), deviceModel(std::move(model)), callbacks(std::move(callbacks))
{
}

PluggableUsbDevice::~PluggableUsbDevice()
{
    unplug();
}

bool PluggableUsbDevice::plug()
{
    if (plugged())
        return true;
    const UsbDeviceModel &model = deviceModel;
    usbPath = testbed.addDevice(
        "usb", RootHub + "/" + model.port, {},
        {{"idVendor", hex4(model.vendorId, false)}, {"idProduct", hex4(model.productId, false)},
         {"manufacturer", model.manufacturer}, {"product", model.product}, {"bDeviceClass", "00"}},
        {{"DEVTYPE", "usb_device"}, {"PRODUCT", hex4(model.vendorId, false) + "/" + hex4(model.productId, false) + "/100"}});
    if (usbPath.empty())
        return false;
    added.push_back({usbPath, {}, {}});
    const std::string interfacePath =
        testbed.addDevice("usb", model.port + ":1.0", usbPath, {{"bInterfaceNumber", "00"}},
                          {{"DEVTYPE", "usb_interface"}});
    if (interfacePath.empty()) {
        unplug();
        return false;
    }
    added.push_back({interfacePath, {}, {}});
    if ((model.hidReportDescriptor && !addHid(interfacePath)) || (model.videoName && !addVideo(interfacePath))) {
        unplug();
        return false;
    }
    // umockdev announces every device it adds with an "add" uevent, parents
    // first as we add them; the hidraw node exists before its announcement.
    return true;
}

bool PluggableUsbDevice::addHid(const std::string &interfacePath)
{
    const UsbDeviceModel &model = deviceModel;
    const unsigned number = testbed.firstFreeNumber("hidraw", "hidraw");
    const std::string name = "hidraw" + std::to_string(number);
    const std::string ids = hex4(model.vendorId, true) + ":" + hex4(model.productId, true);
    const std::string hidPath = testbed.addDevice(
        "hid", "0003:" + ids + "." + hex4(static_cast<std::uint16_t>(number + 1), true), interfacePath, {},
        {{"HID_ID", "0003:0000" + hex4(model.vendorId, true) + ":0000" + hex4(model.productId, true)},
         {"HID_NAME", model.manufacturer + " " + model.product}, {"DRIVER", "hid-generic"}});
    if (hidPath.empty())
        return false;
    added.push_back({hidPath, {}, {}});
    testbed.setBinaryAttribute(hidPath, "report_descriptor", *model.hidReportDescriptor);

    MockHidraw::Identity identity{3, model.vendorId, model.productId, *model.hidReportDescriptor,
                                  model.manufacturer + " " + model.product};
    hidraw = std::make_unique<MockHidraw>(testbed, "/dev/" + name, std::move(identity), callbacks);
    if (!hidraw->valid())
        return false;
    const std::string hidrawPath = testbed.addDevice(
        "hidraw", "hidraw/" + name, hidPath, {{"dev", "241:" + std::to_string(number)}},
        {{"DEVNAME", "/dev/" + name}, {"MAJOR", "241"}, {"MINOR", std::to_string(number)}});
    if (hidrawPath.empty())
        return false;
    added.push_back({hidrawPath, "hidraw", name});
    return true;
}

bool PluggableUsbDevice::addVideo(const std::string &interfacePath)
{
    // uvcvideo makes two nodes of one name for a video function: the
    // capture node, then the metadata node.
    for (const auto kind : {MockVideoNode::Kind::Capture, MockVideoNode::Kind::Metadata}) {
        const unsigned number = testbed.firstFreeNumber("video4linux", "video");
        const std::string name = "video" + std::to_string(number);
        auto node = std::make_unique<MockVideoNode>(testbed, "/dev/" + name, kind, *deviceModel.videoName);
        if (!node->valid())
            return false;
        videoNodes.push_back(std::move(node));
        const std::string index = kind == MockVideoNode::Kind::Capture ? "0" : "1";
        const std::string videoPath = testbed.addDevice(
            "video4linux", "video4linux/" + name, interfacePath,
            {{"name", *deviceModel.videoName}, {"index", index}, {"dev", "81:" + std::to_string(number)}},
            {{"DEVNAME", "/dev/" + name}, {"MAJOR", "81"}, {"MINOR", std::to_string(number)},
             // udev's v4l_id: what GStreamer's device monitor lists a camera by.
             {"ID_V4L_VERSION", "2"}, {"ID_V4L_PRODUCT", *deviceModel.videoName},
             {"ID_V4L_CAPABILITIES", kind == MockVideoNode::Kind::Capture ? ":capture:" : ":"}});
        if (videoPath.empty())
            return false;
        added.push_back({videoPath, "video4linux", name});
    }
    return true;
}

void PluggableUsbDevice::unplug()
{
    if (!plugged())
        return;
    // The kernel wakes the readers of vanishing nodes first.
    if (hidraw)
        hidraw->hangUp();
    for (const auto &node : videoNodes)
        node->hangUp();
    // Class entries leave before the uevents go out, so that a program that
    // rescans on "remove" finds the device gone; the folders stay until the
    // uevents are sent, as umockdev builds them from the folders.
    std::error_code error;
    for (const Added &device : added) {
        if (!device.className.empty())
            std::filesystem::remove(std::filesystem::path(testbed.root()) / "sys/class" / device.className / device.name,
                                    error);
    }
    for (auto device = added.rbegin(); device != added.rend(); ++device)
        testbed.uevent(device->path, "remove");
    for (auto device = added.rbegin(); device != added.rend(); ++device)
        testbed.removeDevice(device->path);
    videoNodes.clear();
    hidraw.reset();
    added.clear();
    usbPath.clear();
}

} // namespace camera_standin
