// The watchdog's requests as the driver's side reads them (the tray program
// and its stand-in): any bytes, in pieces of any size. Every message must
// carry what its header announces, kept within bounds, and a stream whose
// length cannot be followed must stop for good.
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
    std::size_t items = 0;

    for (std::size_t at = 1; at < size; at += piece) {
        const auto result = parser.feed(data + at, std::min(piece, size - at));
        for (const auto &message : result.messages) {
            if (message.header.length < 0 || message.header.length > RequestStreamParser::MaxLength)
                std::abort();
            const auto kept = std::min<std::size_t>(message.header.length, RequestStreamParser::KeptPayload);
            if (message.payload.size() != kept)
                std::abort();
            const auto outcome = handler.handle(message, message.header.length % 2 == 1);
            if (outcome.kind == RequestHandler::Kind::AddMenuItem && outcome.changed)
                ++items;
            if (outcome.record.caption.size() > MenuItemRecord::CaptionUnits)
                std::abort();
        }
        if (parser.failed() && !result.badHeader && !result.messages.empty())
            std::abort();
        if (parser.failed() && !parser.feed(data, size).messages.empty())
            std::abort();
    }
    if (registry.menuItems().size() > items)
        std::abort();
    return 0;
}
