#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _UMockdevIoctlBase UMockdevIoctlBase;

namespace camera_standin {

class Testbed;

// A hidraw node in a testbed that behaves like the kernel's: one report per
// read, poll() readable while reports wait, HIDIOCGRAWINFO and the report
// descriptor ioctls, and on hang-up POLLHUP plus ENODEV for every call.
//
// The node is a pty of our own: umockdev's default node has no report
// boundaries. Reads, writes and ioctls of the program under test reach us
// through umockdev's handler on umockdev's worker thread; every queued report
// writes one doorbell byte to the pty master so that the program's poll()
// sees it, and serving the report takes the byte back through a keeper fd on
// the slave side. Hang-up closes master and keeper, which the program sees as
// POLLHUP.
class MockHidraw
{
public:
    struct Identity
    {
        std::uint32_t bus = 3; // BUS_USB
        std::uint16_t vendorId = 0;
        std::uint16_t productId = 0;
        std::vector<std::uint8_t> reportDescriptor;
        std::string name;
    };

    // Called on umockdev's worker thread.
    struct Callbacks
    {
        // A report the program wrote; returns the input reports that answer it.
        std::function<std::vector<std::vector<std::uint8_t>>(const std::vector<std::uint8_t> &)> written;
        std::function<void(const std::string &node)> opened; // a program opened the node
        std::function<void(int error)> readFailed;
    };

    // Makes the pty and /dev/<node> and attaches the handler; check valid().
    MockHidraw(Testbed &testbed, std::string node, Identity identity, Callbacks callbacks);
    ~MockHidraw();
    MockHidraw(const MockHidraw &) = delete;
    MockHidraw &operator=(const MockHidraw &) = delete;

    bool valid() const;
    const std::string &node() const { return nodePath; }

    enum class Queued { Yes, BufferFull, HungUp };

    // Queues an input report as hidraw hands it over (without report ID for
    // a device that has none). Like the kernel's hidraw, it keeps at most 64
    // reports that no one has read; a report beyond them is dropped.
    Queued queueReport(std::vector<std::uint8_t> report);
    static constexpr std::size_t BufferedReports = 64;
    // The next read fails with error (errno value).
    bool queueReadFailure(int error);
    // The device is unplugged: wakes every poll with POLLHUP and fails every
    // later call with ENODEV. The node stays attached for the programs that
    // still hold it open.
    void hangUp();

    struct Shared; // the state umockdev's worker thread reaches

private:
    Testbed &testbed;
    const std::string nodePath;
    UMockdevIoctlBase *handler = nullptr;
    std::shared_ptr<Shared> shared;
    bool attached = false;
};

} // namespace camera_standin
