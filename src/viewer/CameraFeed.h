#pragma once

#include "CameraPipeline.h"
#include "CameraSource.h"
#include "FormatChooser.h"
#include "platform/CameraDevice.h"

#include <QList>
#include <QTimer>

#include <functional>
#include <memory>

class ViewerSettings;

// The camera as the viewer runs it: opens the node's device for its modes
// and controls, streams the live mode FormatChooser picks (or the one the
// user chose for this camera) through a CameraPipeline, restores the
// camera's saved controls, and takes pictures at the sensor's full size.
// Trouble (busy, stopped) is reported and the stream tried again with a
// growing pause; a frame ends the trouble.
class CameraFeed : public CameraSource
{
    Q_OBJECT

public:
    using DeviceOpener = std::function<std::unique_ptr<platform::CameraDevice>(const std::string &node)>;

    // Devices are opened through the platform (tests hand in their own).
    explicit CameraFeed(ViewerSettings &settings, DeviceOpener opener = platform::openCameraDevice,
                        QObject *parent = nullptr);
    ~CameraFeed() override;

    bool open(const CameraLocator::VideoNode &node) override;
    void close() override;
    bool isOpen() const override { return device != nullptr; }
    QString node() const override { return openNode.node; }
    void reopen() override;

    // The sizes and rates the camera offers, and the one running.
    QList<FormatChooser::Choice> choices() const;
    std::optional<FormatChooser::Choice> current() const;
    // Streams this size and rate from now on, remembered for the camera.
    void choose(const FormatChooser::Choice &choice);

    // The panel's controls the camera has, with their current values.
    std::vector<std::pair<platform::CameraSetting, platform::CameraControl>> controls() const;
    bool setControl(platform::CameraSetting setting, std::int32_t value);
    // Every control back to the camera's default, and forgotten.
    void resetControls();

    void setDisplaySize(QSize size) { pipeline.setDisplaySize(size); }
    // The next frame at the camera's largest mode, handed to done on the
    // main thread (an empty frame when the camera failed meanwhile). The live
    // view's frames stop for the moment the camera takes it.
    void captureFullSize(std::function<void(const CameraFrame &)> done);
    bool capturing() const { return static_cast<bool>(captureDone); }

    static constexpr int FirstRetryMs = 1000;
    static constexpr int LongestRetryMs = 10000;

private:
    void startStream(const platform::CameraMode &mode);
    void onFrameReady();
    void onProblem(CameraPipeline::Problem problem, const QString &detail);
    void finishCapture(const CameraFrame &frame);
    void restoreControls();

    ViewerSettings &settings;
    DeviceOpener openDevice;
    CameraPipeline pipeline;
    std::unique_ptr<platform::CameraDevice> device;
    CameraLocator::VideoNode openNode;
    QList<platform::CameraMode> modes;
    platform::CameraMode liveMode;
    std::optional<platform::CameraMode> fullMode;
    std::function<void(const CameraFrame &)> captureDone;
    QTimer retry;
    int retryMs = FirstRetryMs;
    bool inTrouble = false;
};
