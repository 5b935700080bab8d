#pragma once

#include <QIcon>

// The toolbar's icons, drawn: the desktop's icon theme may have none of
// them, and a toolbar of bare words is harder to find one's way in.
namespace action_icons {

enum class Icon { Freeze, Capture, ZoomIn, ZoomOut, Rotate, FullScreen, Light, Focus, Settings };

QIcon make(Icon icon);

} // namespace action_icons
