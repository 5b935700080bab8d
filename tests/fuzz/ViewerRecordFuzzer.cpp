// Viewer records as they arrive: in pieces of any size, with any content.
// Whatever arrives, records are assembled whole, decode, and encode back to
// the same bytes.
#include "common/StreamReading.h"
#include "server/WatchdogCommand.h"
#include "server/WatchdogMessage.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the piece size of the receives.
    const std::size_t piece = 1 + data[0] * 13;
    const std::uint8_t *stream = data + 1;
    const std::size_t length = size - 1;
    std::size_t position = 0;

    const wire::ReceiveFunction receive = [&](void *buffer, std::size_t wanted) -> long {
        if (position == length)
            return 0;
        const std::size_t n = std::min({wanted, piece, length - position});
        std::memcpy(buffer, stream + position, n);
        position += n;
        return static_cast<long>(n);
    };

    for (;;) {
        WatchdogMessage::Bytes record{};
        const wire::FillResult got = wire::receiveFully(receive, record.data(), record.size());
        if (!got.complete()) {
            if (got.received >= record.size())
                std::abort(); // a whole record must never count as cut short
            return 0;
        }
        const WatchdogMessage message = WatchdogMessage::decode(record);
        (void)watchdog_commands::isHandledRequest(message.command);
        (void)watchdog_commands::isSentByWatchdog(message.command);
        WatchdogMessage::Bytes again = message.encode();
        // Only the three padding bytes after `state` may differ.
        std::fill(record.begin() + 9, record.begin() + 12, 0);
        if (again != record)
            std::abort();
    }
}
