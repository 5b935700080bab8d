#pragma once

#include <array>
#include <cstdint>
#include <optional>

// What the camera's remaining buttons (and the driver's OEM buttons with the
// same codes) do in the viewer. The watchdog passes these codes through
// without a meaning of its own.
enum class ViewerFunction { Freeze, Capture, ZoomIn, ZoomOut, FullScreen };

namespace button_functions {

struct Assignment
{
    std::int32_t code;
    ViewerFunction function;
};

// One table both ways: a code and its function cannot drift apart.
inline constexpr std::array<Assignment, 5> Assignments{{
    {140, ViewerFunction::Freeze},
    {141, ViewerFunction::Capture},
    {162, ViewerFunction::ZoomIn},
    {163, ViewerFunction::ZoomOut},
    {164, ViewerFunction::FullScreen},
}};

constexpr std::optional<ViewerFunction> forCode(std::int32_t code)
{
    for (const Assignment &assignment : Assignments) {
        if (assignment.code == code)
            return assignment.function;
    }
    return std::nullopt;
}

// Every function has its row (checked below), so the loop always returns.
constexpr std::int32_t codeFor(ViewerFunction function)
{
    for (const Assignment &assignment : Assignments) {
        if (assignment.function == function)
            return assignment.code;
    }
    return 0;
}

static_assert(forCode(codeFor(ViewerFunction::Freeze)) == ViewerFunction::Freeze
              && forCode(codeFor(ViewerFunction::Capture)) == ViewerFunction::Capture
              && forCode(codeFor(ViewerFunction::ZoomIn)) == ViewerFunction::ZoomIn
              && forCode(codeFor(ViewerFunction::ZoomOut)) == ViewerFunction::ZoomOut
              && forCode(codeFor(ViewerFunction::FullScreen)) == ViewerFunction::FullScreen);

} // namespace button_functions
