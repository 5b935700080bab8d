#include "RecordText.h"

#include "Text.h"
#include "protocol/WatchdogCommand.h"

#include <algorithm>

namespace record_text {

const char *commandName(std::int32_t code)
{
    switch (code) {
    case VIEWER_ON_OFF:
        return "VIEWER_ON_OFF";
    case AUTO_FOCUS:
        return "AUTO_FOCUS";
    case LIGHT:
        return "LIGHT";
    case ROTATE:
        return "ROTATE";
    case CAMERA_READY:
        return "CAMERA_READY";
    case EXIT_DOC_CAM_APPLICATION:
        return "EXIT_DOC_CAM_APPLICATION";
    case LED_STATUS:
        return "LED_STATUS";
    case VIDEO_DEVICE_LIST:
        return "VIDEO_DEVICE_LIST";
    case FOCUS_BY_WATCHDOG_ON:
        return "FOCUS_BY_WATCHDOG_ON";
    case FOCUS_BY_WATCHDOG_OFF:
        return "FOCUS_BY_WATCHDOG_OFF";
    default:
        return "-";
    }
}

std::string summary(std::int32_t request, std::int32_t command, std::uint8_t state)
{
    return "request=" + std::to_string(request) + " command=" + std::to_string(command) + " "
           + commandName(command) + " state=" + std::to_string(state);
}

std::string describe(const WatchdogMessage &message)
{
    return summary(message.request, message.command, message.state)
           + " deviceCount=" + std::to_string(message.deviceCount);
}

std::vector<std::string> describeDevices(const WatchdogMessage &message)
{
    std::vector<std::string> lines;
    const auto limit = static_cast<std::int32_t>(WatchdogMessage::MaxDevices);
    if (message.deviceCount < 0 || message.deviceCount > limit)
        lines.push_back("warning deviceCount=" + std::to_string(message.deviceCount) + " outside 0.."
                        + std::to_string(limit));
    const std::int32_t shown = std::clamp(message.deviceCount, 0, limit);
    for (std::int32_t slot = 0; slot < shown; ++slot) {
        const VideoDeviceEntry &entry = message.devices[static_cast<std::size_t>(slot)];
        lines.push_back("device slot=" + std::to_string(slot) + " index=" + std::to_string(entry.deviceIndex)
                        + " name=" + text::quoted(entry.name()));
    }
    return lines;
}

} // namespace record_text
