#include "OemButtonCatalog.h"

#include <array>

namespace {

// 93 switches the viewer, 23 opens the product's web page; the others are
// the viewer's own functions, which the watchdog passes on by code.
constexpr std::array<OemButtonCatalog::Meaning, 10> Known{{
    {93, "power", "IDS_OEM_93", "Turn Tessel on or off"},
    {94, "focus", "IDS_OEM_94", "Focus"},
    {116, "light", "IDS_OEM_116", "Light"},
    {139, "rotate", "IDS_OEM_139", "Rotate"},
    {140, "freeze", "IDS_OEM_140", "Freeze the picture"},
    {141, "capture", "IDS_OEM_141", "Capture a picture"},
    {162, "zoom-in", "IDS_OEM_162", "Zoom in"},
    {163, "zoom-out", "IDS_OEM_163", "Zoom out"},
    {164, "full-screen", "IDS_OEM_164", "Full screen"},
    {23, "web", "IDS_OEM_23", "Tessel on the web"},
}};

} // namespace

std::optional<OemButtonCatalog::Meaning> OemButtonCatalog::find(std::int32_t id)
{
    for (const Meaning &meaning : Known)
        if (meaning.id == id)
            return meaning;
    return std::nullopt;
}
