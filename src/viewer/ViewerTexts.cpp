#include "ViewerTexts.h"

#include "config/TextEntry.h"
#include "config/UserInterfaceController.h"

namespace {

// In the order of ViewerTexts::Key.
const TextEntry Entries[ViewerTexts::KeyCount] = {
    {"", "Tessel"},
    {"IDS_FREEZE", "Freeze"},
    {"IDS_CAPTURE", "Capture"},
    {"IDS_ZOOM_IN", "Zoom in"},
    {"IDS_ZOOM_OUT", "Zoom out"},
    {"IDS_ROTATE", "Rotate"},
    {"IDS_FULL_SCREEN", "Full screen"},
    {"IDS_LIGHT", "Light"},
    {"IDS_FOCUS", "Focus"},
    {"IDS_QUIT", "Quit"},
    {"IDS_LIGHT_ON", "Light on"},
    {"IDS_LIGHT_OFF", "Light off"},
    {"IDS_FOCUSING", "Focusing…"},
    {"IDS_FROZEN", "Picture frozen"},
    {"IDS_WAITING_FOR_WATCHDOG", "Waiting for the Tessel service…"},
    {"IDS_NO_CAMERA", "No camera connected"},
    {"IDS_PLUG_IN_HINT", "Plug in the Tessel camera to see its picture here."},
    {"IDS_CAMERA_DISCONNECTED", "Camera disconnected"},
    {"IDS_RECONNECT_HINT", "The picture comes back when the camera is plugged in again."},
    {"IDS_STARTING_CAMERA", "Starting the camera…"},
    {"IDS_CAMERA_ERROR", "The camera could not be opened."},
    {"IDS_SAVED", "Picture saved: %1"},
    {"IDS_SAVE_FAILED", "The picture could not be saved in %1 (%2). It is kept: choose another folder."},
    {"IDS_SAVE_AS", "Save as…"},
    {"IDS_ON_CAMERA_BUTTON", "Also on the camera's button"},
    {"IDS_CAPTURE_FORMAT", "Picture format"},
    {"IDS_CAMERA_BUSY", "The camera is in use by another program"},
    {"IDS_BUSY_HINT", "Close the other program: the picture comes back by itself."},
    {"IDS_CAMERA_STOPPED", "The camera stopped sending pictures"},
    {"IDS_STOPPED_HINT", "The viewer starts it again by itself."},
    {"IDS_RESOLUTION", "Resolution"},
    {"IDS_RESOLUTION_ITEM", "%1 × %2, %3 frames a second"},
    {"IDS_CAMERA_SETTINGS", "Camera settings"},
    {"IDS_RESET", "Reset"},
    {"IDS_BRIGHTNESS", "Brightness"},
    {"IDS_CONTRAST", "Contrast"},
    {"IDS_SATURATION", "Saturation"},
    {"IDS_SHARPNESS", "Sharpness"},
    {"IDS_GAIN", "Gain"},
    {"IDS_EXPOSURE_AUTO", "Exposure mode"},
    {"IDS_EXPOSURE", "Exposure"},
    {"IDS_WHITE_BALANCE_AUTO", "Automatic white balance"},
    {"IDS_WHITE_BALANCE", "White balance"},
    {"IDS_POWER_LINE", "Power-line frequency"},
    {"IDS_FOCUS_AUTO", "Automatic focus"},
    {"IDS_FOCUS_DISTANCE", "Focus distance"},
    {"IDS_ZOOM", "Zoom"},
    {"IDS_CAPTURING", "Taking the picture…"},
    {"IDS_ERROR_FOLDER", "the folder cannot be made or opened"},
    {"IDS_ERROR_PERMISSION", "there is no permission to write there"},
    {"IDS_ERROR_WRITE", "writing failed; the disk may be full"},
    {"IDS_ERROR_ENCODE", "the picture cannot be encoded"},
};

const TextEntry &entry(ViewerTexts::Key key)
{
    return Entries[static_cast<int>(key)];
}

} // namespace

ViewerTexts::ViewerTexts(const UserInterfaceController &language)
    : language(language)
{
}

QString ViewerTexts::keyPath(Key key)
{
    return entry(key).keyPath("Tessel_Viewer");
}

QString ViewerTexts::english(Key key)
{
    return entry(key).englishText();
}

QString ViewerTexts::text(Key key) const
{
    // An empty caption would leave a blank button: it counts as missing.
    return language.captionOr(keyPath(key), english(key));
}
