#include "LinuxVideoDevices.h"

#include "Sysfs.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace platform::linux_backend {

namespace {

const std::string VideoClass = "/sys/class/video4linux";

// The USB device is the ancestor with idVendor and idProduct; the interface
// between it and the video node has neither.
std::optional<std::string> usbIdsText(const std::string &videoDir)
{
    std::optional<std::uint16_t> vendor;
    std::optional<std::uint16_t> product;
    const auto usbDevice = sysfs::findAncestor(videoDir, [&](const std::string &dir) {
        const auto vendorText = sysfs::readAttribute(dir, "idVendor");
        const auto productText = sysfs::readAttribute(dir, "idProduct");
        if (!vendorText || !productText)
            return false;
        vendor = sysfs::parseHexId(*vendorText);
        product = sysfs::parseHexId(*productText);
        return true;
    });
    if (!usbDevice || !vendor || !product)
        return std::nullopt;
    return "usb#" + sysfs::idsText(*vendor, *product);
}

// What udev's v4l_id found when the node appeared (":capture:" for a
// capture node, ":" for a UVC metadata node); nothing where udev did not
// look. Asking udev spares the node an open, which would wake a webcam
// that the kernel has suspended.
std::optional<bool> udevSaysCapture(udev *context, const std::string &deviceDir)
{
    if (!context)
        return std::nullopt;
    std::optional<bool> capture;
    if (udev_device *device = udev_device_new_from_syspath(context, deviceDir.c_str())) {
        if (const char *capabilities = udev_device_get_property_value(device, "ID_V4L_CAPABILITIES"))
            capture = std::string(capabilities).find(":capture:") != std::string::npos;
        udev_device_unref(device);
    }
    return capture;
}

// A UVC camera gives the kernel a capture node and a metadata node of the
// same name; DirectShow offers only the capture side as a video input, so
// only nodes that can capture video count. A node we cannot ask (no access,
// busy driver) keeps its place: better listed once too often than a camera
// missing and every index after it shifted.
bool canCaptureVideo(udev *context, const std::string &deviceDir, const std::string &node)
{
    if (const std::optional<bool> capture = udevSaysCapture(context, deviceDir))
        return *capture;
    const int fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true;
    v4l2_capability capability{};
    int result;
    do {
        result = ::ioctl(fd, VIDIOC_QUERYCAP, &capability);
    } while (result < 0 && errno == EINTR);
    ::close(fd);
    if (result < 0)
        return true;
    const std::uint32_t caps =
        (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps : capability.capabilities;
    return (caps & (V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE)) != 0;
}

} // namespace

std::optional<std::vector<std::optional<std::string>>> LinuxVideoDevices::listDevicePaths()
{
    const auto entries = sysfs::numberedEntries(VideoClass, "video");
    if (!entries || entries->empty())
        return std::nullopt;
    // One udev context for the whole scan; without one, every node is asked.
    const std::unique_ptr<udev, decltype(&udev_unref)> context(udev_new(), &udev_unref);
    std::vector<std::optional<std::string>> paths;
    for (const sysfs::ClassEntry &entry : *entries) {
        const std::optional<std::string> dir = sysfs::deviceDirectory(VideoClass, entry.name);
        const std::optional<std::string> name = dir ? sysfs::readAttribute(*dir, "name") : std::nullopt;
        if (!name) {
            // Like a DirectShow device whose DevicePath cannot be read: it
            // keeps its slot but has no path.
            paths.emplace_back();
            continue;
        }
        std::string path = sysfs::deviceNode(*dir, entry.name);
        if (!canCaptureVideo(context.get(), *dir, path))
            continue;
        if (const std::optional<std::string> ids = usbIdsText(*dir))
            path += " " + *ids;
        path += " " + *name;
        paths.emplace_back(std::move(path));
    }
    if (paths.empty())
        return std::nullopt; // only nodes that are no video input
    return paths;
}

} // namespace platform::linux_backend
