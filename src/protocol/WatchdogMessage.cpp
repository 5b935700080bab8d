#include "WatchdogMessage.h"

#include "protocol/LittleEndian.h"

namespace {

constexpr std::size_t RequestOffset = 0;
constexpr std::size_t CommandOffset = 4;
constexpr std::size_t StateOffset = 8;
constexpr std::size_t DevicesOffset = 12; // bytes 9 to 11 stay zero
constexpr std::size_t DeviceCountOffset = 2612;

static_assert(DevicesOffset + WatchdogMessage::MaxDevices * VideoDeviceEntry::Size
              == DeviceCountOffset);
static_assert(DeviceCountOffset + 4 == WatchdogMessage::Size);

} // namespace

WatchdogMessage::Bytes WatchdogMessage::encode() const
{
    Bytes bytes{};
    wire::putInt32(bytes.data() + RequestOffset, request);
    wire::putInt32(bytes.data() + CommandOffset, command);
    bytes[StateOffset] = state;
    for (std::size_t i = 0; i < MaxDevices; ++i)
        devices[i].encodeTo(bytes.data() + DevicesOffset + i * VideoDeviceEntry::Size);
    wire::putInt32(bytes.data() + DeviceCountOffset, deviceCount);
    return bytes;
}

WatchdogMessage WatchdogMessage::decode(const Bytes &bytes)
{
    WatchdogMessage message;
    message.request = wire::getInt32(bytes.data() + RequestOffset);
    message.command = wire::getInt32(bytes.data() + CommandOffset);
    message.state = bytes[StateOffset];
    for (std::size_t i = 0; i < MaxDevices; ++i)
        message.devices[i] =
            VideoDeviceEntry::decodeFrom(bytes.data() + DevicesOffset + i * VideoDeviceEntry::Size);
    message.deviceCount = wire::getInt32(bytes.data() + DeviceCountOffset);
    return message;
}
