#include "ViewerController.h"

#include "CameraSource.h"
#include "WatchdogLink.h"
#include "protocol/WatchdogCommand.h"

#include <QDebug>

ViewerController::ViewerController(WatchdogLink &link, CameraSource &camera, CameraLocator locator, QObject *parent)
    : QObject(parent), link(link), camera(camera), locator(std::move(locator))
{
    openRetry.setSingleShot(true);
    openRetry.setInterval(OpenRetryMs);
    connect(&openRetry, &QTimer::timeout, this, &ViewerController::tryOpen);
    watchdogGrace.setSingleShot(true);
    watchdogGrace.setInterval(WatchdogGraceMs);
    connect(&watchdogGrace, &QTimer::timeout, this, [this] {
        standalone = !this->link.isConnected();
        openWithoutWatchdog();
    });
    connect(&link, &WatchdogLink::connected, this, &ViewerController::onConnected);
    connect(&link, &WatchdogLink::disconnected, this, &ViewerController::onDisconnected);
    connect(&link, &WatchdogLink::recordReceived, this, &ViewerController::onRecord);
    connect(&camera, &CameraSource::failed, this, &ViewerController::onCameraFailed);
    connect(&camera, &CameraSource::trouble, this, [this](CameraSource::Trouble trouble, const QString &detail) {
        setPicture(trouble == CameraSource::Trouble::Busy ? Picture::Busy : Picture::Stopped, detail);
    });
    connect(&camera, &CameraSource::streaming, this, [this] { setPicture(Picture::Live); });
    connect(&camera, &CameraSource::camerasChanged, this, [this] {
        if (wantedNode && !this->camera.isOpen())
            tryOpen();
        else
            openWithoutWatchdog();
    });
}

void ViewerController::findCameraWithoutWatchdog()
{
    mayLookAlone = true;
    watchdogGrace.start();
}

void ViewerController::openWithoutWatchdog()
{
    if (!standalone || link.isConnected() || camera.isOpen() || wantedNode)
        return;
    const std::optional<CameraLocator::VideoNode> node = locator.nodeForUsbIds(CameraUsbIds);
    if (!node) {
        qDebug().noquote() << "<ViewerController> no watchdog and no camera with USB ids" << CameraUsbIds;
        setPicture(state == Picture::Disconnected ? Picture::Disconnected : Picture::NoCamera);
        return;
    }
    qDebug().noquote() << "<ViewerController> no watchdog: the camera is" << node->node << "by its USB ids";
    wantedNode = node;
    attemptsLeft = OpenAttempts;
    setPicture(Picture::Opening);
    tryOpen();
}

void ViewerController::setPicture(Picture picture, const QString &detail)
{
    if (picture == state && detail.isEmpty())
        return;
    state = picture;
    emit pictureChanged(picture, detail);
}

void ViewerController::onConnected()
{
    // The watchdog names the camera from now on; a camera already open
    // stays unless its list says otherwise.
    watchdogGrace.stop();
    standalone = false;
    // The viewer has no focus control of its own: the watchdog focuses for
    // it, on the camera's button and on the viewer's request alike.
    link.sendRequest(FOCUS_BY_WATCHDOG_ON);
    link.sendRequest(VIDEO_DEVICE_LIST);
    link.sendRequest(LED_STATUS);
    if (!camera.isOpen() && state != Picture::Disconnected)
        setPicture(Picture::NoCamera);
}

void ViewerController::onDisconnected()
{
    // Its answer will not come: the next focus of the camera's button shows.
    focusRequested = false;
    // An open camera goes on showing its picture, and a camera that went
    // away stays the news (the watchdog ends with it and its fresh copy is
    // reconnected to by the link).
    if (!camera.isOpen()) {
        openRetry.stop();
        wantedNode.reset();
        if (state != Picture::Disconnected)
            setPicture(Picture::WaitingForWatchdog);
    }
    // A watchdog that went away may not come back (stopped by the user):
    // after the same grace, the viewer looks for the camera itself again.
    if (mayLookAlone)
        watchdogGrace.start();
}

bool ViewerController::cameraOpen(const WatchdogMessage &message) const
{
    if (camera.isOpen())
        return true;
    qDebug().noquote() << "<ViewerController> no camera open: command" << message.command << "changes nothing";
    return false;
}

void ViewerController::onRecord(const WatchdogMessage &message)
{
    switch (message.command) {
    case VIDEO_DEVICE_LIST:
        if (message.request != 1)
            onDeviceList(message);
        return;
    case CAMERA_READY:
        qDebug().noquote() << "<ViewerController> the camera is ready";
        restartOnList = camera.isOpen();
        link.sendRequest(VIDEO_DEVICE_LIST);
        return;
    case EXIT_DOC_CAM_APPLICATION:
        qDebug().noquote() << "<ViewerController> the camera went away";
        openRetry.stop();
        wantedNode.reset();
        camera.close();
        setPicture(Picture::Disconnected);
        return;
    case LIGHT:
    case LED_STATUS:
        if (message.command == LIGHT && message.request == 1) {
            // The driver's OEM Light button, handed on: the viewer's own
            // light function, whose answer then shows the state.
            qDebug().noquote() << "<ViewerController> the light button: switching the light";
            toggleLight();
            return;
        }
        light = message.state != 0;
        emit lightChanged(light);
        return;
    case AUTO_FOCUS:
        if (message.request == 1) {
            // The driver's OEM Focus button, handed on: focus as the
            // viewer's own button does.
            qDebug().noquote() << "<ViewerController> the focus button: focusing";
            focus();
            return;
        }
        // Our own request's answer ends it; a press of the camera's button
        // (or the driver's) shows that the camera focuses.
        if (focusRequested && message.request != 1) {
            focusRequested = false;
            return;
        }
        emit focusing();
        return;
    case ROTATE:
        if (cameraOpen(message))
            emit rotate();
        return;
    case VIEWER_ON_OFF:
        if (message.request == 1) {
            qDebug().noquote() << "<ViewerController> the watchdog asks the viewer to turn off";
            emit turnOffRequested();
        }
        return;
    case FOCUS_BY_WATCHDOG_ON:
    case FOCUS_BY_WATCHDOG_OFF:
        return; // answers to our requests
    default:
        break;
    }
    if (const std::optional<ViewerFunction> buttonFunction = button_functions::forCode(message.command)) {
        if (cameraOpen(message))
            emit function(*buttonFunction);
        return;
    }
    qDebug().noquote() << QStringLiteral("<ViewerController> ignored record request=%1 command=%2")
                              .arg(message.request)
                              .arg(message.command);
}

void ViewerController::onDeviceList(const WatchdogMessage &message)
{
    const int count = message.deviceCount;
    if (message.state == 0 || count <= 0 || count > static_cast<int>(WatchdogMessage::MaxDevices)) {
        qDebug().noquote() << "<ViewerController> the watchdog lists no camera: state" << message.state
                           << "deviceCount" << count;
        if (!camera.isOpen())
            setPicture(state == Picture::Disconnected ? Picture::Disconnected : Picture::NoCamera);
        return;
    }
    const int index = message.devices[0].deviceIndex;
    const std::optional<CameraLocator::VideoNode> node = locator.nodeForIndex(index);
    if (!node) {
        qDebug().noquote() << "<ViewerController> no video device at index" << index;
        setPicture(Picture::Failed, QStringLiteral("index %1").arg(index));
        return;
    }
    // The index is the watchdog's count at the time it answered: a device
    // plugged in or out since moves the count, so the device found there
    // must be the camera the watchdog named.
    const QString listedName = QString::fromStdString(message.devices[0].name());
    if (!listedName.isEmpty() && !node->name.isEmpty() && listedName != node->name) {
        qDebug().noquote() << "<ViewerController> device" << index << "is" << node->name << "not" << listedName;
        if (!camera.isOpen())
            setPicture(Picture::Failed, listedName);
        return;
    }
    qDebug().noquote() << "<ViewerController> the camera is device" << index << node->node;
    if (camera.isOpen() && camera.node() != node->node) {
        // A streaming camera stays: a list that moved is no reason to drop it.
        qDebug().noquote() << "<ViewerController> keeps streaming" << camera.node();
        restartOnList = false;
        return;
    }
    if (camera.isOpen() && camera.node() == node->node) {
        // After a resume the old stream may be dead without a word.
        if (std::exchange(restartOnList, false)) {
            camera.reopen();
            setPicture(Picture::Live);
        }
        return;
    }
    restartOnList = false;
    camera.close();
    wantedNode = node;
    attemptsLeft = OpenAttempts;
    setPicture(Picture::Opening);
    tryOpen();
}

void ViewerController::tryOpen()
{
    if (!wantedNode || camera.isOpen())
        return;
    if (camera.open(*wantedNode)) {
        setPicture(Picture::Live);
        return;
    }
    if (--attemptsLeft > 0) {
        openRetry.start();
        return;
    }
    qDebug().noquote() << "<ViewerController> no camera is listed for" << wantedNode->node;
    setPicture(Picture::Failed, wantedNode->node);
    wantedNode.reset();
}

void ViewerController::onCameraFailed(const QString &reason)
{
    qDebug().noquote() << "<ViewerController> the camera stopped:" << reason;
    camera.close();
    wantedNode.reset();
    openRetry.stop();
    // Unplugging usually shows here first; the watchdog's word follows.
    setPicture(Picture::Disconnected, reason);
}

void ViewerController::toggleLight()
{
    link.sendRequest(LIGHT);
}

void ViewerController::focus()
{
    if (link.sendRequest(AUTO_FOCUS)) {
        focusRequested = true;
        emit focusing();
    }
}
