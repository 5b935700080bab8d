#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform::linux_backend {

// What the report descriptor says about the sizes of a device's reports,
// which Windows hands over ready-made as HIDP_CAPS and hidraw does not.
struct HidReportLayout
{
    bool usesReportIds = false;
    std::size_t largestInputReport = 0;  // data bytes, without a report ID
    std::size_t largestOutputReport = 0; // data bytes, without a report ID

    // InputReportByteLength as Windows counts it: the largest input report
    // plus the report ID byte, which Windows always puts first (0 when the
    // device has no input report).
    std::size_t windowsInputReportLength() const
    {
        return largestInputReport == 0 ? 0 : largestInputReport + 1;
    }
};

// Parses the main items of a report descriptor: Report Size x Report Count of
// every Input and Output item, summed per report ID. Nothing when the
// descriptor is malformed (an item runs past the end, a Pop without a Push, a
// report ID of 0, sizes beyond anything a device can send).
std::optional<HidReportLayout> parseReportDescriptor(const std::uint8_t *data, std::size_t size);

} // namespace platform::linux_backend
