#include "DriverMessageReader.h"

#include <algorithm>
#include <utility>

DriverMessageReader::DriverMessageReader(wire::ReceiveFunction receiveFunction)
    : receive(std::move(receiveFunction))
{
}

DriverMessageReader::Result DriverMessageReader::next()
{
    Result result;
    ResponseHeader::Bytes headerBytes{};
    const wire::FillResult header = wire::receiveFully(receive, headerBytes.data(), headerBytes.size());
    if (!header.complete()) {
        if (header.lastResult < 0) {
            result.status = Status::ReceiveError;
            result.error = header.lastResult;
        } else {
            result.status = Status::Closed;
        }
        return result;
    }

    result.header = ResponseHeader::decode(headerBytes.data());
    if (result.header.length < 0) {
        result.status = Status::ProtocolError;
        return result;
    }

    result.status = Status::Message;
    std::size_t remaining = static_cast<std::size_t>(result.header.length);
    while (remaining > 0) {
        extra.fill(0);
        const std::size_t chunk = std::min(remaining, extra.size());
        const wire::FillResult read = wire::receiveFully(receive, extra.data(), chunk);
        if (!read.complete()) {
            result.closedAfterMessage = true;
            result.error = read.lastResult;
            break;
        }
        remaining -= chunk;
    }
    return result;
}
