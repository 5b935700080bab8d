#include "VideoDeviceEntry.h"

#include "protocol/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace {
constexpr std::size_t IndexOffset = 0;
constexpr std::size_t NameOffset = 4;
static_assert(NameOffset + VideoDeviceEntry::NameSize == VideoDeviceEntry::Size);
} // namespace

VideoDeviceEntry VideoDeviceEntry::make(std::int32_t index, std::string_view name)
{
    VideoDeviceEntry entry;
    entry.deviceIndex = index;
    const std::size_t length = std::min(name.size(), NameSize - 1);
    std::copy_n(name.data(), length, entry.deviceName.data());
    return entry;
}

std::string VideoDeviceEntry::name() const
{
    const auto end = std::find(deviceName.begin(), deviceName.end(), '\0');
    return std::string(deviceName.begin(), end);
}

void VideoDeviceEntry::encodeTo(std::uint8_t *at) const
{
    wire::putInt32(at + IndexOffset, deviceIndex);
    std::memcpy(at + NameOffset, deviceName.data(), NameSize);
}

VideoDeviceEntry VideoDeviceEntry::decodeFrom(const std::uint8_t *at)
{
    VideoDeviceEntry entry;
    entry.deviceIndex = wire::getInt32(at + IndexOffset);
    std::memcpy(entry.deviceName.data(), at + NameOffset, NameSize);
    return entry;
}
