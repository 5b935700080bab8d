#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;

namespace camera_standin {

using NameValues = std::vector<std::pair<std::string, std::string>>;

// A umockdev testbed: a private /sys and /dev that programs run under
// umockdev's preload library see instead of the real ones. Creating it sets
// UMOCKDEV_DIR in this process's environment, which children inherit.
// umockdev serves emulated device nodes from a worker thread of its own,
// started and stopped with the testbed.
class Testbed
{
public:
    Testbed();
    ~Testbed();
    Testbed(const Testbed &) = delete;
    Testbed &operator=(const Testbed &) = delete;

    UMockdevTestbed *handle() const { return testbed; }
    const std::string &root() const { return rootDir; }

    // Adds a sysfs device and returns its path ("/sys/devices/..."), empty
    // on failure. parent is a path returned earlier, or empty.
    std::string addDevice(const std::string &subsystem, const std::string &name,
                          const std::string &parent, const NameValues &attributes,
                          const NameValues &properties);
    void setBinaryAttribute(const std::string &devicePath, const std::string &name,
                            const std::vector<std::uint8_t> &value);
    void removeDevice(const std::string &devicePath);
    // Sends a uevent ("add", "remove") to every udev monitor in the testbed.
    void uevent(const std::string &devicePath, const std::string &action);

    // Points /dev/<node> at target; done before the device is added, so
    // that umockdev keeps the node we made instead of making its own.
    bool linkNode(const std::string &node, const std::string &target);
    void removeNode(const std::string &node);

    // The smallest N for which no /sys/class/<className>/<prefix>N exists.
    unsigned firstFreeNumber(const std::string &className, const std::string &prefix) const;

    // umockdev builds its testbed through the same preload library that the
    // programs under test use, so the process that owns a testbed must run
    // under it too. Called first thing in main(): when the library is not
    // loaded, puts it into LD_PRELOAD (and lets an ASan build accept it) and
    // executes the program again; returns only when it is loaded, or with
    // false when the new start failed.
    static bool runUnderPreload(char **argv);

private:
    UMockdevTestbed *testbed;
    std::string rootDir;
};

} // namespace camera_standin
