#include "LinuxHid.h"

#include "HidReportDescriptor.h"
#include "LinuxHidDevice.h"
#include "LinuxLog.h"
#include "Sysfs.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace platform::linux_backend {

namespace {

const std::string HidrawClass = "/sys/class/hidraw";

// HID_ID=0003:00007A3E:00004B20 (bus:vendor:product) in the uevent of the
// hid device above the hidraw node.
std::optional<std::string> hidIdsText(const std::string &hidrawDir)
{
    std::optional<std::string> hidId;
    sysfs::findAncestor(hidrawDir, [&hidId](const std::string &dir) {
        hidId = sysfs::ueventValue(dir, "HID_ID");
        return hidId.has_value();
    });
    if (!hidId)
        return std::nullopt;
    const std::size_t first = hidId->find(':');
    const std::size_t second = hidId->find(':', first == std::string::npos ? first : first + 1);
    if (first == std::string::npos || second == std::string::npos)
        return std::nullopt;
    const auto vendor = sysfs::parseHexId(hidId->substr(first + 1, second - first - 1));
    const auto product = sysfs::parseHexId(hidId->substr(second + 1));
    if (!vendor || !product)
        return std::nullopt;
    return "hid#" + sysfs::idsText(*vendor, *product);
}

std::optional<HidReportLayout> readLayout(int fd, const std::string &node)
{
    int descriptorSize = 0;
    if (::ioctl(fd, HIDIOCGRDESCSIZE, &descriptorSize) < 0 || descriptorSize < 0
        || descriptorSize > HID_MAX_DESCRIPTOR_SIZE) {
        qCWarning(linuxPlatformLog) << "hidraw: cannot read the report descriptor size of" << node.c_str();
        return std::nullopt;
    }
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<__u32>(descriptorSize);
    if (::ioctl(fd, HIDIOCGRDESC, &descriptor) < 0) {
        qCWarning(linuxPlatformLog) << "hidraw: cannot read the report descriptor of" << node.c_str();
        return std::nullopt;
    }
    std::optional<HidReportLayout> layout = parseReportDescriptor(descriptor.value, descriptor.size);
    if (!layout)
        qCWarning(linuxPlatformLog) << "hidraw: malformed report descriptor on" << node.c_str();
    return layout;
}

} // namespace

std::optional<std::vector<std::string>> LinuxHid::listInterfaces()
{
    const auto entries = sysfs::numberedEntries(HidrawClass, "hidraw");
    if (!entries) {
        qCWarning(linuxPlatformLog) << "hidraw: cannot list" << HidrawClass.c_str();
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (const sysfs::ClassEntry &entry : *entries) {
        const std::optional<std::string> dir = sysfs::deviceDirectory(HidrawClass, entry.name);
        if (!dir)
            continue; // a class entry that is no device link: not an interface
        std::string path = sysfs::deviceNode(*dir, entry.name);
        // Without ids the path still names the interface; no matching rule
        // will pick it, as no Windows path without ids would be picked.
        if (const std::optional<std::string> ids = hidIdsText(*dir))
            path += " " + *ids;
        paths.push_back(std::move(path));
    }
    return paths;
}

std::shared_ptr<HidDevice> LinuxHid::open(const std::string &path, int &error)
{
    const std::string node = nodeOfPath(path);
    if (node.rfind("/dev/", 0) != 0) {
        error = EINVAL;
        return nullptr;
    }
    // Not insisting on a character device, and not comparing fstat's device
    // number with sysfs: under a umockdev testbed the node is a pty.
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    auto device = std::make_shared<LinuxHidDevice>(fd, node, readLayout(fd, node));
    if (!device->valid()) {
        error = errno;
        return nullptr; // the device closes fd
    }
    error = 0;
    return device;
}

std::string LinuxHid::nodeOfPath(const std::string &path)
{
    return path.substr(0, path.find(' '));
}

} // namespace platform::linux_backend
