#pragma once

#include "ResponseHeader.h"
#include "protocol/StreamReading.h"

#include <array>
#include <cstdint>

// Reads the driver's message stream one message at a time: the 12-byte
// header, then its extra bytes, which are read and dropped. Short receives
// are completed; extra bytes beyond 4096 are read and dropped too, so a long
// message never overruns the buffer and the stream stays in step.
class DriverMessageReader
{
public:
    enum class Status {
        Message,       // `header` holds a whole message
        Closed,        // the driver closed the connection before a whole header
        ReceiveError,  // a receive failed; `error` holds the receive result
        ProtocolError, // a negative length: the stream cannot be followed
    };

    struct Result
    {
        Status status = Status::Closed;
        ResponseHeader header;
        // A message whose extra bytes were cut short by the driver closing
        // the connection: act on the message, then treat the stream as closed.
        bool closedAfterMessage = false;
        long error = 0;
    };

    explicit DriverMessageReader(wire::ReceiveFunction receive);

    Result next();

private:
    wire::ReceiveFunction receive;
    std::array<std::uint8_t, ResponseHeader::MaxExtraLength> extra{};
};
