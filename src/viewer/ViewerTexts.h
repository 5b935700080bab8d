#pragma once

#include <QString>

class UserInterfaceController;

// The viewer's texts, from the section Tessel_Viewer of the product's
// language file. A key the file lacks falls back to English, so that no
// button or message is ever blank.
class ViewerTexts
{
public:
    enum class Key {
        Title,
        Freeze,
        Capture,
        ZoomIn,
        ZoomOut,
        Rotate,
        FullScreen,
        Light,
        Focus,
        Quit,
        LightOn,
        LightOff,
        Focusing,
        Frozen,
        WaitingForWatchdog,
        NoCamera,
        PlugInHint,
        CameraDisconnected,
        ReconnectHint,
        StartingCamera,
        CameraError,
        Saved,
        SaveFailed,
        SaveAs,
        OnCameraButton,
        CaptureFormat,
        CameraBusy,
        BusyHint,
        CameraStopped,
        StoppedHint,
        Resolution,
        ResolutionItem,
        CameraSettings,
        Reset,
        Brightness,
        Contrast,
        Saturation,
        Sharpness,
        Gain,
        ExposureAuto,
        Exposure,
        WhiteBalanceAuto,
        WhiteBalanceTemperature,
        PowerLineFrequency,
        FocusAuto,
        FocusDistance,
        Zoom,
        Capturing,
        ErrorFolder,
        ErrorPermission,
        ErrorWrite,
        ErrorEncode,
    };

    explicit ViewerTexts(const UserInterfaceController &language);

    QString text(Key key) const;
    const UserInterfaceController &languageFile() const { return language; }
    // The key path in the language file ("Tessel_Viewer/IDS_FREEZE").
    static QString keyPath(Key key);
    static QString english(Key key);
    static constexpr int KeyCount = static_cast<int>(Key::ErrorEncode) + 1;

private:
    const UserInterfaceController &language;
};
