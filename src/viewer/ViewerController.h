#pragma once

#include "ButtonFunctions.h"
#include "CameraLocator.h"
#include "protocol/WatchdogMessage.h"

#include <QObject>
#include <QTimer>

class CameraSource;
class WatchdogLink;

// What the viewer does with the watchdog's records and its own requests: it
// finds and opens the camera the watchdog names, follows the camera going
// and coming back, and turns the camera's buttons into viewer functions.
// The window shows what it says; it holds no widgets itself.
class ViewerController : public QObject
{
    Q_OBJECT

public:
    enum class Picture {
        WaitingForWatchdog, // no watchdog yet, no camera
        NoCamera,           // the watchdog knows no camera
        Opening,            // the camera is being started
        Live,               // frames arrive (or are about to)
        Disconnected,       // the camera went away
        Failed,             // the camera could not be opened
        Busy,               // another program has the camera; tried again
        Stopped,            // the camera stopped sending pictures; tried again
    };

    // How long a camera that the watchdog names may take to be listed.
    static constexpr int OpenRetryMs = 500;
    static constexpr int OpenAttempts = 30;

    // With no watchdog this long after the start, the viewer finds the
    // camera by itself.
    static constexpr int WatchdogGraceMs = 2000;
    // The camera's USB ids (vendor:product).
    static inline const QString CameraUsbIds = QStringLiteral("7a3e:4b10");

    ViewerController(WatchdogLink &link, CameraSource &camera, CameraLocator locator, QObject *parent = nullptr);

    // Started from the menu where no watchdog runs, the viewer still shows
    // the camera: after WatchdogGraceMs without a connection it opens the
    // first device with the camera's USB ids. A watchdog connecting later
    // takes over.
    void findCameraWithoutWatchdog();

    Picture picture() const { return state; }
    bool lightOn() const { return light; }

    // The viewer's own controls.
    void toggleLight();
    void focus();

signals:
    void pictureChanged(ViewerController::Picture picture, const QString &detail);
    void lightChanged(bool on);
    void focusing();
    void rotate();
    void function(ViewerFunction function);
    // The watchdog asked the viewer to turn off.
    void turnOffRequested();

private:
    void onConnected();
    void onDisconnected();
    void onRecord(const WatchdogMessage &message);
    void onDeviceList(const WatchdogMessage &message);
    void onCameraFailed(const QString &reason);
    void tryOpen();
    void openWithoutWatchdog();
    void setPicture(Picture picture, const QString &detail = {});
    // A picture function arriving while no camera is open changes nothing.
    bool cameraOpen(const WatchdogMessage &message) const;

    WatchdogLink &link;
    CameraSource &camera;
    CameraLocator locator;
    QTimer openRetry;
    QTimer watchdogGrace;
    bool mayLookAlone = false; // findCameraWithoutWatchdog() was asked for
    bool standalone = false;   // looking for the camera without a watchdog
    std::optional<CameraLocator::VideoNode> wantedNode;
    int attemptsLeft = 0;
    Picture state = Picture::WaitingForWatchdog;
    bool light = false;
    bool focusRequested = false;
    // CAMERA_READY came (the camera is back, as after the system resumed):
    // the next device list restarts the open camera's stream.
    bool restartOnList = false;
};
