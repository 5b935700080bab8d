#pragma once

#include "OverlappedIo.h"
#include "platform/Hid.h"

namespace platform::win32_backend {

// One opened HID interface. Reads and writes go through OverlappedIo; the
// attributes and capabilities come from hid.dll.
class Win32HidDevice final : public HidDevice
{
public:
    // Takes over a handle opened with FILE_FLAG_OVERLAPPED.
    explicit Win32HidDevice(void *handle);

    bool attributes(std::uint16_t &vendorId, std::uint16_t &productId) override;
    CapsStatus inputReportLength(std::size_t &length) override;

    bool write(const std::uint8_t *data, std::size_t size) override;
    ReadStatus read(std::uint8_t *buffer, std::size_t size, int timeoutMs, std::size_t &received) override;

    void cancelIo() override;
    void close() override;

    // A device that stops taking output reports must not hold the writer
    // (the camera handler's thread) for long.
    static constexpr int WriteTimeoutMs = 1000;

private:
    OverlappedIo io;
};

} // namespace platform::win32_backend
