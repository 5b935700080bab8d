#include "OemButtonCatalog.h"

#include "protocol/WatchdogCommand.h"

#include <array>

namespace {

// VIEWER_ON_OFF switches the viewer, 23 opens the product's web page; the
// others are the viewer's own functions, which the watchdog passes on by code.
constexpr std::array<OemButtonCatalog::Meaning, 10> Known{{
    {VIEWER_ON_OFF, "power", TrayTexts::Key::Oem93},
    {AUTO_FOCUS, "focus", TrayTexts::Key::Oem94},
    {LIGHT, "light", TrayTexts::Key::Oem116},
    {ROTATE, "rotate", TrayTexts::Key::Oem139},
    {140, "freeze", TrayTexts::Key::Oem140},
    {141, "capture", TrayTexts::Key::Oem141},
    {162, "zoom-in", TrayTexts::Key::Oem162},
    {163, "zoom-out", TrayTexts::Key::Oem163},
    {164, "full-screen", TrayTexts::Key::Oem164},
    {23, "web", TrayTexts::Key::Oem23},
}};

} // namespace

std::optional<OemButtonCatalog::Meaning> OemButtonCatalog::find(std::int32_t id)
{
    for (const Meaning &meaning : Known)
        if (meaning.id == id)
            return meaning;
    return std::nullopt;
}
