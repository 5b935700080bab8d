#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One opened HID interface. Input reports are presented in the Windows
// layout: byte 0 is the report ID (0 for a device without report IDs) and the
// input report length counts it. Output reports start with the report ID too.
//
// Every operation may be called from any thread. close() and cancelIo() wake a
// read that is blocked in another thread at once.
class HidDevice
{
public:
    enum class ReadStatus {
        Data,      // a report was read
        TimedOut,  // nothing arrived within the time-out
        Cancelled, // cancelIo() woke the read
        Failed,    // the read failed; the device may still be there
        Gone,      // the device was removed or close() was called
    };

    // How reading the input report length went. It takes two steps, as on
    // Windows: the interface's parsed report descriptor, then the
    // capabilities from it; the camera reader logs which one failed.
    enum class CapsStatus {
        Read,
        NoDescriptor,   // the parsed descriptor cannot be had (or close() was called)
        NoCapabilities, // the descriptor gives no capabilities
    };

    virtual ~HidDevice() = default;

    // Vendor and product id of the interface.
    virtual bool attributes(std::uint16_t &vendorId, std::uint16_t &productId) = 0;
    // Length of an input report, report ID byte included; stored only when
    // the result is Read.
    virtual CapsStatus inputReportLength(std::size_t &length) = 0;

    virtual bool write(const std::uint8_t *data, std::size_t size) = 0;
    // Reads one input report into buffer (at most size bytes), waiting at
    // most timeoutMs milliseconds (-1: no limit). `received` is the number of
    // bytes stored when the status is Data.
    virtual ReadStatus read(std::uint8_t *buffer, std::size_t size, int timeoutMs,
                            std::size_t &received) = 0;

    // Wakes a read that is in progress; it returns Cancelled.
    virtual void cancelIo() = 0;
    // Ends all I/O on the device: a read in progress and every later read or
    // write fails with Gone. The system handle itself is released when the
    // object is destroyed.
    virtual void close() = 0;
};

// The present HID interfaces of the system.
class Hid
{
public:
    virtual ~Hid() = default;

    // The paths of the present HID interfaces, in the system's order. A path
    // carries the vendor and product id the way Windows device paths do
    // ("vid_7a3e&pid_4b20", lower case). Empty when the list of interfaces is
    // not available at all.
    virtual std::optional<std::vector<std::string>> listInterfaces() = 0;

    // Opens a path of listInterfaces() for reading and writing. On failure
    // returns null and sets error to the system error number.
    virtual std::shared_ptr<HidDevice> open(const std::string &path, int &error) = 0;
};

} // namespace platform
