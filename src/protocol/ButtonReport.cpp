#include "ButtonReport.h"

namespace {
constexpr std::size_t ReportIdOffset = 0;
constexpr std::size_t MarkerOffset = 2;
constexpr std::size_t ValueOffset = 4;
constexpr std::uint8_t Marker = 0x01;
} // namespace

ButtonReport::Bytes ButtonReport::encode() const
{
    Bytes bytes{};
    bytes[MarkerOffset] = Marker;
    bytes[ValueOffset] = value;
    return bytes;
}

bool ButtonReport::decode(const std::uint8_t *data, std::size_t size, std::uint8_t &buttonValue)
{
    if (size != Size || data[ReportIdOffset] != 0 || data[1] != 0 || data[MarkerOffset] != Marker
        || data[3] != 0)
        return false;
    for (std::size_t i = ValueOffset + 1; i < Size; ++i)
        if (data[i] != 0)
            return false;
    buttonValue = data[ValueOffset];
    return true;
}
