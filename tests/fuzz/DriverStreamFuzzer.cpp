// The driver's message stream: any bytes, in pieces of any size. The reader
// must consume exactly what each header announces and never overrun.
#include "PiecewiseInput.h"
#include "protocol/DriverMessageReader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    PiecewiseInput input(data, size, 17);
    DriverMessageReader reader(input.receive());

    for (;;) {
        const std::size_t start = input.position();
        const DriverMessageReader::Result result = reader.next();
        if (result.status != DriverMessageReader::Status::Message)
            return 0;
        if (result.header.length < 0)
            std::abort();
        // In step: a whole message took its header and every extra byte.
        const std::size_t expected = ResponseHeader::Size + static_cast<std::size_t>(result.header.length);
        if (!result.closedAfterMessage && input.position() - start != expected)
            std::abort();
        if (result.closedAfterMessage)
            return 0;
    }
}
