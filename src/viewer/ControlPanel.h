#pragma once

#include "ViewerTexts.h"
#include "platform/CameraDevice.h"

#include <QWidget>

#include <functional>

class CameraFeed;
class QFormLayout;

// The side panel of camera controls, built from what the open camera
// offers: a slider for a range, a switch for on/off, a list for a menu,
// each showing the camera's value; Reset puts all back to the camera's
// defaults. A manual value its automatic partner governs is disabled.
class ControlPanel : public QWidget
{
    Q_OBJECT

public:
    ControlPanel(const ViewerTexts &texts, CameraFeed &camera, QWidget *parent = nullptr);

    // Reads the camera's controls again (a camera opened, a value changed).
    void rebuild();

private:
    QString caption(platform::CameraSetting setting, const platform::CameraControl &control) const;
    void change(platform::CameraSetting setting, std::int32_t value);

    const ViewerTexts &texts;
    CameraFeed &camera;
    QWidget *form = nullptr;
    QFormLayout *formLayout = nullptr;
};
