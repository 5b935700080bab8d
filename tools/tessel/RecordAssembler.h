#pragma once

#include "protocol/WatchdogMessage.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Collects the viewer protocol's fixed-size records from a byte stream that
// TCP may cut anywhere: a record counts only once all its bytes are there.
class RecordAssembler
{
public:
    std::vector<WatchdogMessage::Bytes> feed(const std::uint8_t *data, std::size_t size);

    // Bytes of a record that has begun but not ended.
    std::size_t partialBytes() const { return filled; }
    void reset() { filled = 0; }

private:
    WatchdogMessage::Bytes buffer{};
    std::size_t filled = 0;
};
