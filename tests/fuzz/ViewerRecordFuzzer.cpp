// Viewer records as they arrive: in pieces of any size, with any content.
// Whatever arrives, records are assembled whole, decode, and encode back to
// the same bytes.
#include "PiecewiseInput.h"
#include "protocol/StreamReading.h"
#include "protocol/WatchdogCommand.h"
#include "protocol/WatchdogMessage.h"

#include <algorithm>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    PiecewiseInput input(data, size, 13);
    const wire::ReceiveFunction receive = input.receive();

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
