#pragma once

#include "protocol/RequestHeader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// Cuts the watchdog's request stream into messages: an 8-byte header, then
// as many payload bytes as its length says, however TCP delivers them. It
// keeps only the first KeptPayload bytes of a payload and counts the rest, so
// a long message costs no memory. A negative or absurd length means the
// stream cannot be followed: the parser reports it and takes nothing more.
class RequestStreamParser
{
public:
    static constexpr std::int32_t MaxLength = 65536;
    static constexpr std::size_t KeptPayload = 4096;

    struct Message
    {
        RequestHeader header;
        std::vector<std::uint8_t> payload; // at most KeptPayload bytes
    };

    struct Result
    {
        std::vector<Message> messages;            // in stream order
        std::optional<RequestHeader> badHeader;   // after the messages, if any
    };

    Result feed(const std::uint8_t *data, std::size_t size);

    // Bytes of a message that has begun but not ended.
    std::size_t partialBytes() const { return current ? RequestHeader::Size + payloadSeen : headerFilled; }
    bool failed() const { return hasFailed; }

private:
    RequestHeader::Bytes headerBytes{};
    std::size_t headerFilled = 0;
    std::optional<Message> current; // header read, payload pending
    std::size_t payloadSeen = 0;
    bool hasFailed = false;
};
