#include "TrayTexts.h"

#include "config/TextEntry.h"
#include "config/UserInterfaceController.h"

namespace {

// In the order of TrayTexts::Key.
const TextEntry Entries[TrayTexts::KeyCount] = {
    {"", "Brivara Tessel"},
    {"IDS_PANEL", "Camera buttons"},
    {"IDS_QUIT", "Quit"},
    {"IDS_MENU", "Menu"},
    {"IDS_NO_PROGRAM", "No Tessel program connected"},
    {"IDS_CONNECTED", "Connected programs: %1"},
    {"IDS_NO_BUTTONS", "Waiting for the Tessel watchdog"},
    {"IDS_UNNAMED_ITEM", "Menu item %1"},
    {"IDS_BUTTON_NUMBER", "Button %1"},
    {"IDS_PORT_IN_USE", "Port %1 is in use by another program. Trying again."},
    {"IDS_NO_PERMISSION", "The Tessel buttons cannot be offered: this program may not use port %1. "
                          "It needs the capability cap_net_bind_service, which only an administrator can give it:"
                          "\n\nsudo setcap cap_net_bind_service+ep %2"},
    {"IDS_ALREADY_RUNNING", "The Brivara Tessel tray program is already running."},
    {"IDS_NO_TRAY_NOTICE", "This desktop shows no tray icons. Open “Tessel Camera Buttons” from the "
                           "application menu to get the camera's buttons, or turn on a tray extension "
                           "(on GNOME: AppIndicator) to have them in the tray."},
    {"IDS_OEM_93", "Turn Tessel on or off"},
    {"IDS_OEM_94", "Focus"},
    {"IDS_OEM_116", "Light"},
    {"IDS_OEM_139", "Rotate"},
    {"IDS_OEM_140", "Freeze the picture"},
    {"IDS_OEM_141", "Capture a picture"},
    {"IDS_OEM_162", "Zoom in"},
    {"IDS_OEM_163", "Zoom out"},
    {"IDS_OEM_164", "Full screen"},
    {"IDS_OEM_23", "Tessel on the web"},
};

const TextEntry &entry(TrayTexts::Key key)
{
    return Entries[static_cast<int>(key)];
}

} // namespace

QString TrayTexts::keyPath(Key key)
{
    return entry(key).keyPath("Driver_Tray");
}

QString TrayTexts::english(Key key)
{
    return entry(key).englishText();
}

QString TrayTexts::text(Key key) const
{
    return source ? source->captionOr(keyPath(key), english(key)) : english(key);
}
