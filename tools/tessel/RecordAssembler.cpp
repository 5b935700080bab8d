#include "RecordAssembler.h"

#include <algorithm>
#include <cstring>

std::vector<WatchdogMessage::Bytes> RecordAssembler::feed(const std::uint8_t *data, std::size_t size)
{
    std::vector<WatchdogMessage::Bytes> records;
    while (size > 0) {
        const std::size_t take = std::min(size, buffer.size() - filled);
        std::memcpy(buffer.data() + filled, data, take);
        filled += take;
        data += take;
        size -= take;
        if (filled == buffer.size()) {
            records.push_back(buffer);
            filled = 0;
        }
    }
    return records;
}
