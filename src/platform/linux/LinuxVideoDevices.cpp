#include "LinuxVideoDevices.h"

#include "Sysfs.h"

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

} // namespace

std::optional<std::vector<std::optional<std::string>>> LinuxVideoDevices::listDevicePaths()
{
    const auto entries = sysfs::numberedEntries(VideoClass, "video");
    if (!entries || entries->empty())
        return std::nullopt;
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
        if (const std::optional<std::string> ids = usbIdsText(*dir))
            path += " " + *ids;
        path += " " + *name;
        paths.emplace_back(std::move(path));
    }
    return paths;
}

} // namespace platform::linux_backend
