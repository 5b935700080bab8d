#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Small readers for the parts of sysfs that the HID and video backends use.
// Everything goes through open/readlink/opendir, so that a umockdev testbed
// can stand in for /sys.
namespace platform::linux_backend::sysfs {

struct ClassEntry
{
    std::string name; // "hidraw3"
    unsigned number;  // 3
};

// The entries "<prefix>N" of a class folder such as /sys/class/hidraw, in
// numeric order of N (so video10 follows video9). An empty list when the
// folder does not exist; nothing when it exists but cannot be read.
std::optional<std::vector<ClassEntry>> numberedEntries(const std::string &classDir,
                                                       const std::string &prefix);

// The device folder that a class entry links to, e.g.
// /sys/devices/pci0000:00/.../hidraw/hidraw3.
std::optional<std::string> deviceDirectory(const std::string &classDir, const std::string &name);

// A sysfs attribute without its trailing line feed; nothing when unreadable.
std::optional<std::string> readAttribute(const std::string &deviceDir, const std::string &name);

// The value of one KEY=value line of a device's uevent file.
std::optional<std::string> ueventValue(const std::string &deviceDir, const std::string &key);

// The nearest folder at or above deviceDir, inside /sys/devices, for which
// accept returns true.
std::optional<std::string> findAncestor(const std::string &deviceDir,
                                        const std::function<bool(const std::string &)> &accept);

// The device node of a class device: /dev/ plus its DEVNAME, else plus the
// entry's name.
std::string deviceNode(const std::string &deviceDir, const std::string &entryName);

// Vendor and product id the way Windows device paths write them:
// "vid_7a3e&pid_4b20".
std::string idsText(std::uint16_t vendorId, std::uint16_t productId);

// A hexadecimal id as sysfs and uevent files write it ("7a3e", "00007A3E").
std::optional<std::uint16_t> parseHexId(const std::string &text);

} // namespace platform::linux_backend::sysfs
