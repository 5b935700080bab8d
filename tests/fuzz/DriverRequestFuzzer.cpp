// The watchdog's requests as the driver's side reads them (the tray program
// and its stand-in): any bytes, in pieces of any size. Every message must
// carry what its header announces, kept within bounds, and a stream whose
// length cannot be followed must be reported (the tray drops the client on
// it) and stop for good.
#include "RequestHandler.h"
#include "RequestStreamParser.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    MenuItemIds ids;
    DriverRegistry registry(ids);
    RequestHandler handler(registry);
    RequestStreamParser parser;

    for (std::size_t at = 1; at < size; at += piece) {
        const bool failedBefore = parser.failed();
        const auto result = parser.feed(data + at, std::min(piece, size - at));
        if (failedBefore && (result.badHeader || !result.messages.empty()))
            std::abort();
        if (result.badHeader.has_value() != (parser.failed() && !failedBefore))
            std::abort();
        for (const auto &message : result.messages) {
            if (message.header.length < 0 || message.header.length > RequestStreamParser::MaxLength)
                std::abort();
            const auto kept = std::min<std::size_t>(message.header.length, RequestStreamParser::KeptPayload);
            if (message.payload.size() != kept)
                std::abort();
            // Any payload, read by the handler and the record decoder; the
            // sanitizers watch their reads.
            handler.handle(message, message.header.length % 2 == 1);
        }
    }
    return 0;
}
