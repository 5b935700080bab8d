#pragma once

#include <cstddef>
#include <functional>

namespace wire {

// One receive call: the bytes received, 0 when the peer closed the
// connection, a negative value on an error.
using ReceiveFunction = std::function<long(void *buffer, std::size_t size)>;

struct FillResult
{
    std::size_t received = 0; // bytes stored, at most the size asked for
    long lastResult = 0;      // the result of the last receive call
    bool complete() const { return lastResult > 0; }
};

// Receives until `size` bytes have arrived, the peer closes the connection or
// an error occurs. A short receive never counts as a whole record.
inline FillResult receiveFully(const ReceiveFunction &receive, void *buffer, std::size_t size)
{
    FillResult result;
    auto *bytes = static_cast<unsigned char *>(buffer);
    while (result.received < size) {
        const long got = receive(bytes + result.received, size - result.received);
        result.lastResult = got;
        if (got <= 0)
            return result;
        result.received += static_cast<std::size_t>(got);
    }
    if (size == 0)
        result.lastResult = 1;
    return result;
}

} // namespace wire
