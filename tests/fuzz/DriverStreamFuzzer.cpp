// The driver's message stream: any bytes, in pieces of any size. The reader
// must consume exactly what each header announces and never overrun.
#include "driverapi/DriverMessageReader.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t piece = 1 + data[0] * 17;
    const std::uint8_t *stream = data + 1;
    const std::size_t length = size - 1;
    std::size_t position = 0;

    DriverMessageReader reader([&](void *buffer, std::size_t wanted) -> long {
        if (position == length)
            return 0;
        const std::size_t n = std::min({wanted, piece, length - position});
        std::memcpy(buffer, stream + position, n);
        position += n;
        return static_cast<long>(n);
    });

    for (;;) {
        const std::size_t start = position;
        const DriverMessageReader::Result result = reader.next();
        if (result.status != DriverMessageReader::Status::Message)
            return 0;
        if (result.header.length < 0)
            std::abort();
        // In step: a whole message took its header and every extra byte.
        const std::size_t expected = ResponseHeader::Size + static_cast<std::size_t>(result.header.length);
        if (!result.closedAfterMessage && position - start != expected)
            std::abort();
        if (result.closedAfterMessage)
            return 0;
    }
}
