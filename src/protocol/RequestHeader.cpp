#include "RequestHeader.h"

#include "protocol/LittleEndian.h"

namespace {
constexpr std::size_t TypeOffset = 0;
constexpr std::size_t LengthOffset = 4; // bytes 2 and 3 are padding, sent as zero
static_assert(LengthOffset + 4 == RequestHeader::Size);
} // namespace

RequestHeader::Bytes RequestHeader::encode() const
{
    Bytes bytes{};
    wire::putUInt16(bytes.data() + TypeOffset, type);
    wire::putInt32(bytes.data() + LengthOffset, length);
    return bytes;
}

RequestHeader RequestHeader::decode(const std::uint8_t *at)
{
    RequestHeader header;
    header.type = wire::getUInt16(at + TypeOffset);
    header.length = wire::getInt32(at + LengthOffset);
    return header;
}
