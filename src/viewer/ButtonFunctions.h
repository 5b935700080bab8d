#pragma once

#include <cstdint>
#include <optional>

// What the camera's remaining buttons (and the driver's OEM buttons with the
// same codes) do in the viewer. The watchdog passes these codes through
// without a meaning of its own.
enum class ViewerFunction { Freeze, Capture, ZoomIn, ZoomOut, FullScreen };

namespace button_functions {

constexpr std::optional<ViewerFunction> forCode(std::int32_t code)
{
    switch (code) {
    case 140:
        return ViewerFunction::Freeze;
    case 141:
        return ViewerFunction::Capture;
    case 162:
        return ViewerFunction::ZoomIn;
    case 163:
        return ViewerFunction::ZoomOut;
    case 164:
        return ViewerFunction::FullScreen;
    default:
        return std::nullopt;
    }
}

constexpr std::int32_t codeFor(ViewerFunction function)
{
    switch (function) {
    case ViewerFunction::Freeze:
        return 140;
    case ViewerFunction::Capture:
        return 141;
    case ViewerFunction::ZoomIn:
        return 162;
    case ViewerFunction::ZoomOut:
        return 163;
    case ViewerFunction::FullScreen:
        break;
    }
    return 164;
}

} // namespace button_functions
