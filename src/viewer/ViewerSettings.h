#pragma once

#include "FormatChooser.h"
#include "platform/CameraDevice.h"

#include <QSettings>
#include <QSize>
#include <QString>

#include <optional>

// What the viewer remembers between starts (QSettings, in the user's
// configuration folder): the picture's rotation, the capture format, and
// for each camera (by its USB ids and name) the size and rate the user
// chose and the controls the user set.
class ViewerSettings
{
public:
    ViewerSettings();

    // As stored: VideoView::setRotation brings any value to a quarter turn.
    int rotation() const;
    void setRotation(int degrees);

    // JPEG unless PNG was chosen.
    bool captureAsJpeg() const;
    void setCaptureAsJpeg(bool jpeg);

    std::optional<FormatChooser::Choice> cameraChoice(const QString &camera) const;
    void setCameraChoice(const QString &camera, const FormatChooser::Choice &choice);

    std::optional<std::int32_t> cameraControl(const QString &camera, platform::CameraSetting setting) const;
    void setCameraControl(const QString &camera, platform::CameraSetting setting, std::int32_t value);
    void forgetCameraControl(const QString &camera, platform::CameraSetting setting);

private:
    QSettings settings;
};
