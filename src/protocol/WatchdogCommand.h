#pragma once

#include <cstdint>

// The command codes of the viewer protocol. The camera's button codes and the
// driver's OEM button ids share this code space; the codes without a name are
// passed through between the buttons and the viewer.
enum WatchdogCommand : std::int32_t {
    VIEWER_ON_OFF = 93,
    AUTO_FOCUS = 94,
    LIGHT = 116,
    ROTATE = 139,
    CAMERA_READY = 561,
    EXIT_DOC_CAM_APPLICATION = 562,
    LED_STATUS = 563,
    VIDEO_DEVICE_LIST = 564,
    FOCUS_BY_WATCHDOG_ON = 565,
    FOCUS_BY_WATCHDOG_OFF = 566,
};

namespace watchdog_commands {

// Codes that the watchdog ever sends to the viewer.
constexpr bool isSentByWatchdog(std::int32_t code)
{
    return (code >= 93 && code <= 96) || (code >= 116 && code <= 118)
           || (code >= 139 && code <= 141) || (code >= 162 && code <= 164)
           || code == CAMERA_READY || code == EXIT_DOC_CAM_APPLICATION;
}

// Codes that the watchdog carries out when the viewer requests them.
constexpr bool isHandledRequest(std::int32_t code)
{
    switch (code) {
    case VIEWER_ON_OFF:
    case AUTO_FOCUS:
    case LIGHT:
    case 117:
    case ROTATE:
    case LED_STATUS:
    case VIDEO_DEVICE_LIST:
    case FOCUS_BY_WATCHDOG_ON:
    case FOCUS_BY_WATCHDOG_OFF:
        return true;
    default:
        return false;
    }
}

} // namespace watchdog_commands
