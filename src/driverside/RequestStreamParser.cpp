#include "RequestStreamParser.h"

#include <algorithm>

RequestStreamParser::Result RequestStreamParser::feed(const std::uint8_t *data, std::size_t size)
{
    Result result;
    while (size > 0 && !hasFailed) {
        if (!current) {
            const std::size_t take = std::min(size, headerBytes.size() - headerFilled);
            std::copy_n(data, take, headerBytes.begin() + static_cast<std::ptrdiff_t>(headerFilled));
            headerFilled += take;
            data += take;
            size -= take;
            if (headerFilled < headerBytes.size())
                break;
            headerFilled = 0;
            const RequestHeader header = RequestHeader::decode(headerBytes.data());
            if (header.length < 0 || header.length > MaxLength) {
                hasFailed = true;
                result.badHeader = header;
                break;
            }
            current = Message{header, {}};
            payloadSeen = 0;
        }

        const auto length = static_cast<std::size_t>(current->header.length);
        const std::size_t take = std::min(size, length - payloadSeen);
        const std::size_t keep = std::min(take, KeptPayload - std::min(KeptPayload, payloadSeen));
        current->payload.insert(current->payload.end(), data, data + keep);
        payloadSeen += take;
        data += take;
        size -= take;
        if (payloadSeen == length) {
            result.messages.push_back(std::move(*current));
            current.reset();
            payloadSeen = 0;
        }
    }
    return result;
}
