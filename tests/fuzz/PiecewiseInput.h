#pragma once

#include "protocol/StreamReading.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// A fuzz input as a byte stream that arrives in pieces, the way TCP hands
// data over: the first byte picks the piece size, the rest is the stream.
class PiecewiseInput
{
public:
    PiecewiseInput(const std::uint8_t *data, std::size_t size, std::size_t pieceStep)
        : piece(size > 0 ? 1 + data[0] * pieceStep : 1), stream(size > 0 ? data + 1 : data),
          length(size > 0 ? size - 1 : 0)
    {
    }

    wire::ReceiveFunction receive()
    {
        return [this](void *buffer, std::size_t wanted) -> long {
            if (consumed == length)
                return 0;
            const std::size_t n = std::min({wanted, piece, length - consumed});
            std::memcpy(buffer, stream + consumed, n);
            consumed += n;
            return static_cast<long>(n);
        };
    }

    std::size_t position() const { return consumed; }

private:
    const std::size_t piece;
    const std::uint8_t *const stream;
    const std::size_t length;
    std::size_t consumed = 0;
};
