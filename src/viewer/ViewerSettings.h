#pragma once

#include <QSettings>
#include <QSize>
#include <QString>

#include <optional>

// What the viewer remembers between starts (QSettings, in the user's
// configuration folder): the picture's rotation, the capture format, and for
// each camera the format it was opened with.
class ViewerSettings
{
public:
    ViewerSettings();

    // As stored: VideoView::setRotation brings any value to a quarter turn.
    int rotation() const;
    void setRotation(int degrees);

    bool captureAsJpeg() const;
    void setCaptureAsJpeg(bool jpeg);

    std::optional<QSize> cameraFormat(const QString &camera) const;
    void setCameraFormat(const QString &camera, const QSize &resolution);

private:
    QSettings settings;
};
