// Fuzz entry point: report descriptors come from the device, so the parser
// must take any bytes without reading past them, and what it accepts must be
// consistent.
#include "platform/linux/HidReportDescriptor.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto layout = platform::linux_backend::parseReportDescriptor(data, size);
    if (layout) {
        const std::size_t length = layout->windowsInputReportLength();
        if ((layout->largestInputReport == 0) != (length == 0) || length > 16384 + 1)
            std::abort();
    }
    return 0;
}
