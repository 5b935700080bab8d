#pragma once

#include "HidReportDescriptor.h"
#include "ReadInterrupter.h"
#include "platform/Hid.h"

#include <atomic>
#include <optional>
#include <string>

namespace platform::linux_backend {

// One opened hidraw node. Input reports are handed over in the Windows
// layout: hidraw leaves out the report ID byte when the device has no report
// IDs, so that 0 is put in front and counted, and the button bytes keep their
// Windows positions.
//
// The node's file descriptor lives as long as the object: close() only ends
// the I/O, so that a thread still inside poll() never sees the number reused.
class LinuxHidDevice final : public HidDevice
{
public:
    // Takes ownership of fd. layout is nothing when the descriptor could not
    // be read.
    LinuxHidDevice(int fd, std::string node, std::optional<HidReportLayout> layout);
    ~LinuxHidDevice() override;
    LinuxHidDevice(const LinuxHidDevice &) = delete;
    LinuxHidDevice &operator=(const LinuxHidDevice &) = delete;

    // False when the wake-up eventfd could not be made.
    bool valid() const { return interrupter.valid(); }

    bool attributes(std::uint16_t &vendorId, std::uint16_t &productId) override;
    CapsStatus inputReportLength(std::size_t &length) override;
    bool write(const std::uint8_t *data, std::size_t size) override;
    ReadStatus read(std::uint8_t *buffer, std::size_t size, int timeoutMs,
                    std::size_t &received) override;
    void cancelIo() override;
    void close() override;

private:
    enum class Attempt { Done, Again };
    Attempt readReport(std::uint8_t *buffer, std::size_t size, std::size_t &received,
                       ReadStatus &status);
    void logOnce(const char *what, int error);
    ReadStatus gone();

    const int fd;
    const std::string node;
    const std::optional<HidReportLayout> layout;
    ReadInterrupter interrupter;
    std::atomic<int> lastLoggedError{0};
    std::atomic<bool> goneLogged{false};
};

} // namespace platform::linux_backend
