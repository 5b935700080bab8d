#include "Win32HidDevice.h"

#include "HidApi.h"

namespace platform::win32_backend {

Win32HidDevice::Win32HidDevice(void *handle)
    : io(handle)
{
}

bool Win32HidDevice::attributes(std::uint16_t &vendorId, std::uint16_t &productId)
{
    if (io.isClosed())
        return false;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(io.handle(), &attributes))
        return false;
    vendorId = attributes.VendorID;
    productId = attributes.ProductID;
    return true;
}

HidDevice::CapsStatus Win32HidDevice::inputReportLength(std::size_t &length)
{
    if (io.isClosed())
        return CapsStatus::NoDescriptor;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(io.handle(), &preparsed))
        return CapsStatus::NoDescriptor;
    HIDP_CAPS caps{};
    const bool read = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(preparsed);
    if (!read)
        return CapsStatus::NoCapabilities;
    // Windows' own layout: the count includes the report ID byte, which
    // every read delivers in byte 0 (0 for a device without report IDs).
    length = caps.InputReportByteLength;
    return CapsStatus::Read;
}

bool Win32HidDevice::write(const std::uint8_t *data, std::size_t size)
{
    return io.write(data, size, WriteTimeoutMs);
}

HidDevice::ReadStatus Win32HidDevice::read(std::uint8_t *buffer, std::size_t size, int timeoutMs,
                                           std::size_t &received)
{
    return io.read(buffer, size, timeoutMs, received);
}

void Win32HidDevice::cancelIo()
{
    io.cancel();
}

void Win32HidDevice::close()
{
    io.close();
}

} // namespace platform::win32_backend
