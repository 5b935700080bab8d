#include "ResponseHeader.h"

#include "protocol/LittleEndian.h"

namespace {
constexpr std::size_t TypeOffset = 0;
constexpr std::size_t ValueOffset = 4;
constexpr std::size_t LengthOffset = 8;
static_assert(LengthOffset + 4 == ResponseHeader::Size);
} // namespace

ResponseHeader::Bytes ResponseHeader::encode() const
{
    Bytes bytes{};
    wire::putInt32(bytes.data() + TypeOffset, type);
    wire::putInt32(bytes.data() + ValueOffset, value);
    wire::putInt32(bytes.data() + LengthOffset, length);
    return bytes;
}

ResponseHeader ResponseHeader::decode(const std::uint8_t *at)
{
    ResponseHeader header;
    header.type = wire::getInt32(at + TypeOffset);
    header.value = wire::getInt32(at + ValueOffset);
    header.length = wire::getInt32(at + LengthOffset);
    return header;
}
