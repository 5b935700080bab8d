#include "CameraTestbed.h"

#include <cstdio>
#include <cstring>

namespace camera_standin {

namespace {

// A keyboard with a consumer-control collection: two input reports with
// IDs (8 and 2 data bytes), so the Windows-layout length is 9.
const std::vector<std::uint8_t> KeyboardDescriptor{
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01,             // keyboard, report ID 1
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01, // modifier keys
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02,                         //   8 x 1 bit in
    0x95, 0x01, 0x75, 0x08, 0x81, 0x03,                         //   1 x 8 bits reserved
    0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, // LEDs
    0x91, 0x02,                                                 //   5 x 1 bit out
    0x95, 0x01, 0x75, 0x03, 0x91, 0x03,                         //   padding
    0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, // key codes
    0x19, 0x00, 0x29, 0x65, 0x81, 0x00,                         //   6 x 8 bits in
    0xC0,                                                       //
    0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02,             // consumer control, ID 2
    0x15, 0x00, 0x26, 0xFF, 0x03, 0x19, 0x00, 0x2A, 0xFF, 0x03, //
    0x75, 0x10, 0x95, 0x01, 0x81, 0x00,                         //   1 x 16 bits in
    0xC0,
};

UsbDeviceModel cameraHidModel()
{
    return {"1-2", CameraTestbed::VendorId, CameraTestbed::HidProductId, "Brivara", "tessel Buttons",
            CameraModel::reportDescriptor(), std::nullopt};
}

UsbDeviceModel cameraVideoModel()
{
    return {"1-3", CameraTestbed::VendorId, CameraTestbed::VideoProductId, "Brivara", "tessel Visualizer",
            std::nullopt, std::string(CameraTestbed::VideoName)};
}

UsbDeviceModel keyboardModel()
{
    return {"1-5", 0x046D, 0xC31C, "Logitech", "USB Keyboard", KeyboardDescriptor, std::nullopt};
}

UsbDeviceModel webcamModel()
{
    return {"1-6", 0x0BDA, 0x58F4, "Generic", "USB2.0 HD UVC WebCam", std::nullopt,
            std::string("USB2.0 HD UVC WebCam: USB2.0 HD")};
}

// hidraw hands over a report without the report ID byte of a device that has
// none; the Windows layout has it.
std::vector<std::uint8_t> withoutReportId(const Report &report)
{
    return std::vector<std::uint8_t>(report.begin() + 1, report.end());
}

} // namespace

std::string hexText(const std::vector<std::uint8_t> &bytes)
{
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

std::string errnoName(int error)
{
    const char *name = ::strerrorname_np(error);
    return name ? name : std::to_string(error);
}

CameraTestbed::CameraTestbed(EventSink &sink, std::optional<std::string> stateFile)
    : sink(sink), cameraModel(std::move(stateFile))
{
    MockHidraw::Callbacks cameraCallbacks;
    cameraCallbacks.written = [this](const std::vector<std::uint8_t> &bytes) { return cameraWritten(bytes); };
    cameraCallbacks.opened = [this](const std::string &node) { this->sink.event("open node=" + node); };
    cameraCallbacks.readFailed = [this](int error) {
        this->sink.event("read-failed errno=" + errnoName(error));
    };
    cameraHid = std::make_unique<PluggableUsbDevice>(bed, cameraHidModel(), cameraCallbacks);
    cameraVideo = std::make_unique<PluggableUsbDevice>(bed, cameraVideoModel());
    MockHidraw::Callbacks keyboardCallbacks;
    keyboardCallbacks.opened = cameraCallbacks.opened;
    keyboard = std::make_unique<PluggableUsbDevice>(bed, keyboardModel(), keyboardCallbacks);
    webcam = std::make_unique<PluggableUsbDevice>(bed, webcamModel());
}

// The devices leave before the testbed that holds them.
CameraTestbed::~CameraTestbed()
{
    cameraHid.reset();
    cameraVideo.reset();
    keyboard.reset();
    webcam.reset();
}

const char *CameraTestbed::deviceName(Device device)
{
    switch (device) {
    case Device::Camera:
        return "camera";
    case Device::OtherHid:
        return "hid";
    case Device::OtherUsb:
        return "usb";
    }
    return "?";
}

PluggableUsbDevice &CameraTestbed::device(Device which) const
{
    switch (which) {
    case Device::Camera:
        return *cameraHid;
    case Device::OtherHid:
        return *keyboard;
    case Device::OtherUsb:
        break;
    }
    return *webcam;
}

bool CameraTestbed::plug(Device which)
{
    if (plugged(which))
        return true;
    std::string line = std::string("plug ") + deviceName(which);
    if (which == Device::Camera) {
        // The video device first: the watchdog lists it when the HID
        // interface's arrival makes it look for the camera.
        if (!cameraVideo->plug() || !cameraHid->plug()) {
            cameraVideo->unplug();
            return false;
        }
        line += " hidraw=" + cameraHidrawNode() + " video=" + cameraVideoNode();
    } else if (!device(which).plug()) {
        return false;
    } else if (which == Device::OtherHid) {
        line += " hidraw=" + otherHidrawNode();
    } else {
        line += " video=" + otherVideoNode();
    }
    sink.event(line);
    return true;
}

void CameraTestbed::unplug(Device which)
{
    if (!plugged(which))
        return;
    device(which).unplug();
    if (which == Device::Camera)
        cameraVideo->unplug();
    sink.event(std::string("unplug ") + deviceName(which));
}

bool CameraTestbed::plugged(Device which) const
{
    return device(which).plugged();
}

bool CameraTestbed::press(const std::vector<Button> &buttons, bool hold)
{
    if (!plugged(Device::Camera))
        return false;
    for (const Report &report : cameraModel.press(buttons, hold)) {
        if (!sendReport(report))
            return false;
    }
    return true;
}

bool CameraTestbed::sendReport(const Report &report)
{
    MockHidraw *hidraw = cameraHid->hidrawDevice();
    if (!hidraw || report.empty() || report.front() != 0)
        return false;
    switch (hidraw->queueReport(withoutReportId(report))) {
    case MockHidraw::Queued::HungUp:
        return false;
    case MockHidraw::Queued::BufferFull:
        // What the kernel does when no one reads: the report is lost.
        sink.event("input dropped len=" + std::to_string(report.size()) + " reason=buffer-full");
        return true;
    case MockHidraw::Queued::Yes:
        break;
    }
    sink.event("input len=" + std::to_string(report.size()) + " data=" + hexText(report));
    return true;
}

bool CameraTestbed::failReads(int error, unsigned count)
{
    MockHidraw *hidraw = cameraHid->hidrawDevice();
    if (!hidraw)
        return false;
    for (unsigned i = 0; i < count; ++i) {
        if (!hidraw->queueReadFailure(error))
            return false;
    }
    return true;
}

std::vector<std::vector<std::uint8_t>> CameraTestbed::cameraWritten(const std::vector<std::uint8_t> &bytes)
{
    const CameraModel::WriteOutcome outcome = cameraModel.handleWrite(bytes);
    const std::string length = "write len=" + std::to_string(bytes.size());
    switch (outcome.kind) {
    case CameraModel::WriteOutcome::Kind::Zero:
        sink.event(length + " zero");
        break;
    case CameraModel::WriteOutcome::Kind::ButtonReport: {
        char value[8];
        std::snprintf(value, sizeof value, "0x%02x", outcome.buttonValue);
        sink.event(length + " button=" + value + " data=" + hexText(bytes));
        break;
    }
    case CameraModel::WriteOutcome::Kind::Other:
        sink.event(length + " data=" + hexText(bytes));
        break;
    }
    std::vector<std::vector<std::uint8_t>> answers;
    if (outcome.answer) {
        sink.event("answer len=" + std::to_string(outcome.answer->size()) + " data=" + hexText(*outcome.answer));
        answers.push_back(withoutReportId(*outcome.answer));
    }
    if (outcome.lightChanged) {
        sink.event(*outcome.lightChanged ? "light on" : "light off");
        if (!outcome.stateSaved)
            sink.event("error cannot write the state file " + cameraModel.stateFilePath().value_or(""));
    }
    return answers;
}

std::string CameraTestbed::cameraHidrawNode() const
{
    return cameraHid->hidrawNode();
}

std::string CameraTestbed::cameraVideoNode() const
{
    return cameraVideo->videoNode();
}

std::string CameraTestbed::otherHidrawNode() const
{
    return keyboard->hidrawNode();
}

std::string CameraTestbed::otherVideoNode() const
{
    return webcam->videoNode();
}

bool CameraTestbed::setVideoStalled(bool stalled)
{
    MockVideoNode *node = cameraVideo->captureNode();
    if (!node)
        return false;
    node->setStalled(stalled);
    return true;
}

} // namespace camera_standin
