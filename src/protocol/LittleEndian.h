#pragma once

#include <cstddef>
#include <cstdint>

// Little-endian field access for the wire records. Records are always built
// byte by byte through these, never by laying a struct over a buffer.
namespace wire {

inline void putUInt16(std::uint8_t *at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void putInt32(std::uint8_t *at, std::int32_t value)
{
    const auto bits = static_cast<std::uint32_t>(value);
    at[0] = static_cast<std::uint8_t>(bits);
    at[1] = static_cast<std::uint8_t>(bits >> 8);
    at[2] = static_cast<std::uint8_t>(bits >> 16);
    at[3] = static_cast<std::uint8_t>(bits >> 24);
}

inline std::uint16_t getUInt16(const std::uint8_t *at)
{
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

inline std::int32_t getInt32(const std::uint8_t *at)
{
    const std::uint32_t bits = std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8)
                               | (std::uint32_t{at[2]} << 16) | (std::uint32_t{at[3]} << 24);
    return static_cast<std::int32_t>(bits);
}

} // namespace wire
